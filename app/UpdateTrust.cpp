#include "app/UpdateTrust.h"

#include <cstdint>
#include <cstdio>

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

// A catalogue is a small profile file; anything larger is no catalogue.
constexpr std::uint64_t kCatalogueLimit = 1024 * 1024;

std::string ReadText(std::int32_t root, const char* name) {
    try {
        return ProductKey::Text(root, name).Value().ToText();
    } catch (const RaisedError&) {
        return "";
    }
}

// The whole of a small file, opened without following a link.
bool ReadCatalogue(const std::string& path, std::string& bytes) {
    const plat::HANDLE file = plat::OpenFileForReading(path);
    if (file == plat::PL_INVALID_FILE_HANDLE) return false;
    std::uint64_t size = 0;
    bool ok = plat::SizeOfOpenFile(file, size) && size <= kCatalogueLimit;
    bytes.clear();
    char block[16384];
    for (plat::DWORD got = 0;
         ok && bytes.size() <= size && plat::ReadOpenFile(file, block, sizeof block, got) && got > 0;)
        bytes.append(block, got);
    ok = ok && bytes.size() == size;
    plat::CloseOpenFile(file);
    return ok;
}

}  // namespace

std::string UpdateTrust::KeyText() {
    const std::string installed = ReadText(cRegistry::PL_HKEY_LOCAL_MACHINE, "UpdateKey");
    return installed.empty() ? std::string(NOVALINK_UPDATE_KEY) : installed;
}

std::string UpdateTrust::Check(const std::string& key, const std::string& file, const std::string& edition,
                               std::string& bytes) {
    if (!ReadCatalogue(file, bytes)) return "cannot read the catalogue " + file;
    const std::string refusal = SignedCatalogue::Refusal(bytes, key);
    if (!refusal.empty()) return refusal;
    // The signed bytes are what the profile reads see: nothing may follow the
    // signature, so no section or key can be added after it.
    const std::string issued = CatalogueValue(file, "Info", "Issued");
    if (!SignedCatalogue::IsIssuedTime(issued)) return "the catalogue has no Issued time";
    const std::string last = ReadText(cRegistry::PL_HKEY_CURRENT_USER, kIssuedValue);
    if (issued < last) return "the catalogue was issued " + issued + ", before the last one accepted (" + last + ")";
    const std::string digest = CatalogueValue(file, edition, "SHA256");
    std::string raw;
    if (digest.size() != 64 || !BytesOfHex(digest, raw))
        return "the catalogue's section [" + edition + "] has no SHA256";
    return "";
}

std::string UpdateTrust::Accept(const std::string& key, const std::string& catalogueFile,
                                const std::string& edition) {
    std::string bytes;
    const std::string refusal = Check(key, catalogueFile, edition, bytes);
    if (!refusal.empty()) return refusal;
    accepted_ = bytes;
    edition_ = edition;
    // Should the time not be kept, the next run compares with an older one.
    const std::string issued = CatalogueValue(catalogueFile, "Info", "Issued");
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
    std::string bytes;
    const std::string refusal = Check(key, catalogue, edition, bytes);
    if (!refusal.empty()) return "the staged catalogue: " + refusal;
    const std::string actual = package.Digest();
    if (actual.empty() || !Sha256::SameDigest(actual, CatalogueValue(catalogue, edition, "SHA256")))
        return "the package " + package.Path() + " is not the one the signed catalogue names";
    return "";
}

}  // namespace nl
