// Which updates are trusted. With an update key configured, only a catalogue
// that the key's holder signed is used, never one older than the last accepted,
// one issued more than a day ahead of this machine's clock, or one past its
// Expires time, and every package must match its digest there; the verified
// catalogue is kept in the staging folder, and checked again before a staged
// package is put in place. Without a key nothing here applies.
#pragma once

#include <cstdint>
#include <string>

namespace nl {

class Catalogue;
class StagedPackage;

class UpdateTrust {
public:
    // The staged copy of the accepted catalogue, and the state file's key that
    // names the edition whose package is staged.
    static constexpr const char* kStagedCatalogueName = "BLMNL.CFG";
    static constexpr const char* kEditionKey = "Edition";
    // HKEY_CURRENT_USER "Software\Brightloom": the "Issued" time of the last
    // catalogue accepted (REG_SZ).
    static constexpr const char* kIssuedValue = "CatalogueIssued";

    // The update key's one-line text: HKEY_LOCAL_MACHINE "Software\Brightloom"
    // "UpdateKey" (REG_SZ) when it is set, otherwise the key built in; "" when
    // there is none.
    static std::string KeyText();

    // How far "Issued" may lie ahead of this machine's clock (a clock a little
    // behind the publisher's); a later one would lock out every catalogue
    // published before it.
    static constexpr std::int64_t kIssuedAheadSeconds = 24 * 3600;

    // A fetched catalogue, before anything is downloaded: "" when its signature
    // holds for `key`, its "Issued" is not older than the last accepted one nor
    // more than kIssuedAheadSeconds ahead of the clock, its "Expires" (when
    // given) has not passed, and the edition's section has "SHA256"; otherwise
    // the reason. An accepted catalogue's time becomes the last accepted one, and
    // its bytes are kept for Keep. Every value comes from the one parse.
    static std::string Accept(const std::string& key, const Catalogue& catalogue, const std::string& edition);

    // Writes the accepted catalogue into the staging folder and names its
    // edition in the state file. False when it cannot be written.
    static bool Keep(const std::string& stagingFolder, const std::string& stateFile);

    // Before a package is put in place: "" when the staging folder's catalogue,
    // read once, passes Accept's checks again (all but Expires: the package was
    // fetched while it held) and the package has the digest that its edition's
    // section names; otherwise the reason.
    static std::string CheckStaged(const std::string& key, const std::string& stagingFolder,
                                   const std::string& stateFile, StagedPackage& package);

private:
    // The checks on a catalogue; `fetched` adds the Expires check.
    static std::string Check(const std::string& key, const Catalogue& catalogue, const std::string& edition,
                             bool fetched);

    static std::string accepted_;
    static std::string edition_;
};

}  // namespace nl
