// The secure-transfer fixture: a test root with server certificates made by
// tests/common/make-test-certs.sh, and one nginx speaking TLS on loopback for
// each kind of certificate (and one that offers TLS 1.0 alone). The good site
// serves static files under Root(), a "/stream/" folder whose replies come in
// chunks, "/down" redirecting to http:, and the Basic-authorized "/private/" of
// NginxServer.
#pragma once

#include <memory>
#include <string>

#include "tests/common/NginxServer.h"
#include "tests/common/TestUtil.h"

namespace testutil {

class TlsSites {
public:
    enum Kind { Good, LeafOnly, WrongHost, Expired, SelfSigned, UnknownCa, Tls10, kKinds };

    TlsSites();
    bool Running() const;  // every site started
    int Port(Kind kind) const { return sites_[kind]->Port(); }
    const NginxServer& Site(Kind kind) const { return *sites_[kind]; }
    // The root the tests trust (a PEM file), as the system under test names it.
    std::string CaFile() const { return dir_ / "root.crt"; }
    std::string Root() const { return sites_[Good]->Root(); }
    void Put(const std::string& relPath, const std::string& data) const { sites_[Good]->Put(relPath, data); }

private:
    TempDir dir_;
    std::unique_ptr<NginxServer> sites_[kKinds];
};

}  // namespace testutil
