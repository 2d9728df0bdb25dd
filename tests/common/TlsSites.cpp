#include "tests/common/TlsSites.h"

namespace testutil {

TlsSites::TlsSites() {
    const std::string d = SystemPath(dir_.path());
    const RunResult made = Run({"/bin/sh", SystemPath(SourceDir() + "/tests/common/make-test-certs.sh"), d}, {}, 120);
    if (made.exitCode != 0 || !Exists(dir_ / "done")) return;
    static const char* const kNames[kKinds] = {"good",     "leafonly",  "wronghost", "expired",
                                               "selfsigned", "unknownca", "good"};
    for (int k = 0; k < kKinds; ++k) {
        NginxServer::Options o;
        const std::string name = kNames[k];
        o.tls = "    ssl_certificate " + d + "/" + name + ".pem;\n    ssl_certificate_key " + d + "/" + name + ".key;\n";
        o.tls += k == Tls10 ? "    ssl_protocols TLSv1;\n    ssl_ciphers DEFAULT:@SECLEVEL=0;\n"
                            : "    ssl_protocols TLSv1.2 TLSv1.3;\n";
        if (k == Good)
            o.extraLocations = "    location /stream/ { ssi on; ssi_types *; }\n"
                               "    location = /down { return 301 http://127.0.0.1/pub/data.bin; }\n";
        sites_[k] = std::make_unique<NginxServer>(o);
    }
}

bool TlsSites::Running() const {
    for (const auto& s : sites_)
        if (!s || !s->Running()) return false;
    return true;
}

}  // namespace testutil
