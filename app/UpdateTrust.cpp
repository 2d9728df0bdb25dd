#include "app/UpdateTrust.h"

#include <cstdint>
#include <cstdio>

#include "app/Catalogue.h"
#include "app/MainModule.h"
#include "app/ProductKey.h"
#include "app/SignedCatalogue.h"
#include "app/StagedPackage.h"
#include "platform/Files.h"
#include "support/ErrorReport.h"
#include "support/HexText.h"
#include "support/Sha256.h"
#include "support/cRegistry.h"

#ifndef NOVALINK_UPDATE_KEY
#define NOVALINK_UPDATE_KEY ""
#endif

namespace nl {

std::string UpdateTrust::accepted_;
std::string UpdateTrust::edition_;

namespace {

std::string ReadText(std::int32_t root, const char* name) {
    try {
        return ProductKey::Text(root, name).Value().ToText();
    } catch (const RaisedError&) {
        return "";
    }
}

}  // namespace

std::string UpdateTrust::KeyText() {
    const std::string installed = ReadText(cRegistry::PL_HKEY_LOCAL_MACHINE, "UpdateKey");
    return installed.empty() ? std::string(NOVALINK_UPDATE_KEY) : installed;
}

std::string UpdateTrust::Check(const std::string& key, const Catalogue& catalogue, const std::string& edition,
                               bool fetched) {
    const std::string refusal = SignedCatalogue::Refusal(catalogue.Bytes(), key);
    if (!refusal.empty()) return refusal;
    // The signed bytes are what was parsed: nothing may follow the signature,
    // so no section or key can be added after it.
    const std::string issued = catalogue.Value(Catalogue::kInfo, Catalogue::kIssued);
    if (!SignedCatalogue::IsIssuedTime(issued)) return "the catalogue has no Issued time";
    const std::int64_t now = SignedCatalogue::Now();
    const std::string latest = SignedCatalogue::TimeText(now + kIssuedAheadSeconds);
    if (issued > latest)
        return "the catalogue was issued " + issued + ", more than a day after this machine's clock (" +
               SignedCatalogue::TimeText(now) + ")";
    const std::string last = ReadText(cRegistry::PL_HKEY_CURRENT_USER, kIssuedValue);
    if (issued < last) return "the catalogue was issued " + issued + ", before the last one accepted (" + last + ")";
    const std::string expires = catalogue.Value(Catalogue::kInfo, Catalogue::kExpires);
    if (fetched && !expires.empty()) {
        if (!SignedCatalogue::IsIssuedTime(expires)) return "the catalogue's Expires is not a time";
        if (expires <= SignedCatalogue::TimeText(now))
            return "the catalogue expired " + expires + " (this machine's clock: " + SignedCatalogue::TimeText(now) +
                   ")";
    }
    const std::string digest = catalogue.Value(edition, Catalogue::kDigest);
    std::string raw;
    if (digest.size() != 64 || !BytesOfHex(digest, raw))
        return "the catalogue's section [" + edition + "] has no SHA256";
    return "";
}

std::string UpdateTrust::Accept(const std::string& key, const Catalogue& catalogue, const std::string& edition) {
    const std::string refusal = Check(key, catalogue, edition, true);
    if (!refusal.empty()) return refusal;
    accepted_ = catalogue.Bytes();
    edition_ = edition;
    // Should the time not be kept, the next run compares with an older one.
    const std::string issued = catalogue.Value(Catalogue::kInfo, Catalogue::kIssued);
    TryStep([&] { ProductKey::Text(cRegistry::PL_HKEY_CURRENT_USER, kIssuedValue).SetValue(Variant(issued)); });
    return "";
}

bool UpdateTrust::Keep(const std::string& stagingFolder, const std::string& stateFile) {
    const std::string path = JoinPath(stagingFolder, kStagedCatalogueName);
    if (path.empty() || accepted_.empty() || !KillFile(path)) return false;
    std::FILE* f = plat::OpenDataFile(path);
    if (!f) return false;
    const bool written = std::fwrite(accepted_.data(), 1, accepted_.size(), f) == accepted_.size();
    const bool closed = std::fclose(f) == 0;
    WriteIni(stateFile, kStateSection, kEditionKey, edition_);
    return written && closed && ReadIni(stateFile, kStateSection, kEditionKey) == edition_;
}

std::string UpdateTrust::CheckStaged(const std::string& key, const std::string& stagingFolder,
                                     const std::string& stateFile, StagedPackage& package) {
    const std::string catalogue = JoinPath(stagingFolder, kStagedCatalogueName);
    const std::string edition = ReadIni(stateFile, kStateSection, kEditionKey);
    if (edition.empty()) return "no verified catalogue was staged with the package";
    // Read once: the digest compared is the one whose signature was checked.
    Catalogue staged;
    std::string why;
    if (!Catalogue::Load(catalogue, staged, why)) return "the staged catalogue: " + why;
    const std::string refusal = Check(key, staged, edition, false);
    if (!refusal.empty()) return "the staged catalogue: " + refusal;
    const std::string actual = package.Digest();
    if (actual.empty() || !Sha256::SameDigest(actual, staged.Value(edition, Catalogue::kDigest)))
        return "the package " + package.Path() + " is not the one the signed catalogue names";
    return "";
}

}  // namespace nl
