#include "platform/Signature.h"

#include "platform/win32/WinApi.h"

#include <bcrypt.h>

#include <vector>

namespace plat {
namespace {

// One algorithm provider and one key, closed on every way out.
class EcdsaKey {
public:
    EcdsaKey() {
        if (::BCryptOpenAlgorithmProvider(&alg_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0) alg_ = nullptr;
    }
    ~EcdsaKey() {
        if (key_) ::BCryptDestroyKey(key_);
        if (alg_) ::BCryptCloseAlgorithmProvider(alg_, 0);
    }
    EcdsaKey(const EcdsaKey&) = delete;
    EcdsaKey& operator=(const EcdsaKey&) = delete;

    // Imports the key from its parts: public X and Y, and d for a private key.
    bool Import(const std::string& publicKey, const std::string* privateKey) {
        if (!alg_ || publicKey.size() != PL_P256_PUBLIC_KEY_SIZE || publicKey[0] != 0x04) return false;
        if (privateKey && privateKey->size() != PL_P256_PRIVATE_KEY_SIZE) return false;
        BCRYPT_ECCKEY_BLOB header{};
        header.dwMagic = privateKey ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
        header.cbKey = 32;
        std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
        blob += publicKey.substr(1);
        if (privateKey) blob += *privateKey;
        const LPCWSTR kind = privateKey ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB;
        const bool ok = ::BCryptImportKeyPair(alg_, nullptr, kind, &key_, reinterpret_cast<PUCHAR>(blob.data()),
                                              static_cast<ULONG>(blob.size()), 0) == 0;
        ::SecureZeroMemory(blob.data(), blob.size());
        if (!ok) key_ = nullptr;
        return ok;
    }

    bool Generate() {
        if (!alg_ || ::BCryptGenerateKeyPair(alg_, &key_, 256, 0) != 0) {
            key_ = nullptr;
            return false;
        }
        return ::BCryptFinalizeKeyPair(key_, 0) == 0;
    }

    // The private blob: the header, X, Y and d.
    bool Export(std::string& privateKey, std::string& publicKey) {
        std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * 32);
        ULONG got = 0;
        if (::BCryptExportKey(key_, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                              &got, 0) != 0 ||
            got != blob.size())
            return false;
        const char* parts = reinterpret_cast<const char*>(blob.data()) + sizeof(BCRYPT_ECCKEY_BLOB);
        publicKey = std::string(1, '\x04') + std::string(parts, 64);
        privateKey.assign(parts + 64, 32);
        ::SecureZeroMemory(blob.data(), blob.size());
        return true;
    }

    BCRYPT_KEY_HANDLE Handle() const { return key_; }

private:
    BCRYPT_ALG_HANDLE alg_ = nullptr;
    BCRYPT_KEY_HANDLE key_ = nullptr;
};

PUCHAR Bytes(const std::string& s) { return reinterpret_cast<PUCHAR>(const_cast<char*>(s.data())); }

}  // namespace

bool VerifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature) {
    if (digest.size() != PL_SHA256_DIGEST_SIZE || signature.size() != PL_P256_SIGNATURE_SIZE) return false;
    EcdsaKey key;
    if (!key.Import(publicKey, nullptr)) return false;
    // STATUS_SUCCESS, or STATUS_INVALID_SIGNATURE when it does not hold.
    return ::BCryptVerifySignature(key.Handle(), nullptr, Bytes(digest), static_cast<ULONG>(digest.size()),
                                   Bytes(signature), static_cast<ULONG>(signature.size()), 0) == 0;
}

bool GenerateP256(std::string& privateKey, std::string& publicKey) {
    EcdsaKey key;
    return key.Generate() && key.Export(privateKey, publicKey);
}

bool SignP256(const std::string& privateKey, const std::string& publicKey, const std::string& digest,
              std::string& signature) {
    if (digest.size() != PL_SHA256_DIGEST_SIZE) return false;
    EcdsaKey key;
    if (!key.Import(publicKey, &privateKey)) return false;
    UCHAR raw[PL_P256_SIGNATURE_SIZE];
    ULONG got = 0;
    if (::BCryptSignHash(key.Handle(), nullptr, Bytes(digest), static_cast<ULONG>(digest.size()), raw, sizeof raw,
                         &got, 0) != 0 ||
        got != sizeof raw)
        return false;
    signature.assign(reinterpret_cast<char*>(raw), sizeof raw);
    return true;
}

}  // namespace plat
