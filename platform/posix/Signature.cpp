#include "platform/Signature.h"

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

namespace plat {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct ContextFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
struct SigFree {
    void operator()(ECDSA_SIG* s) const { ECDSA_SIG_free(s); }
};
struct ParamsFree {
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};
struct BuilderFree {
    void operator()(OSSL_PARAM_BLD* b) const { OSSL_PARAM_BLD_free(b); }
};
struct NumberFree {
    void operator()(BIGNUM* n) const { BN_clear_free(n); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_PKEY_CTX, ContextFree>;
using Number = std::unique_ptr<BIGNUM, NumberFree>;

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// A key of the curve P-256 from its public point and, when given, its scalar.
// The point is decoded by libcrypto, which refuses one that is not on the curve.
Key MakeKey(const std::string& publicKey, const std::string* privateKey) {
    if (publicKey.size() != PL_P256_PUBLIC_KEY_SIZE || publicKey[0] != 0x04) return nullptr;
    std::unique_ptr<OSSL_PARAM_BLD, BuilderFree> build(OSSL_PARAM_BLD_new());
    Number scalar;
    if (!build || !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) ||
        !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, publicKey.data(), publicKey.size()))
        return nullptr;
    if (privateKey) {
        if (privateKey->size() != PL_P256_PRIVATE_KEY_SIZE) return nullptr;
        scalar.reset(BN_bin2bn(Bytes(*privateKey), static_cast<int>(privateKey->size()), nullptr));
        if (!scalar || !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_PRIV_KEY, scalar.get())) return nullptr;
    }
    std::unique_ptr<OSSL_PARAM, ParamsFree> params(OSSL_PARAM_BLD_to_param(build.get()));
    Context ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &key, privateKey ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params.get()) <= 0)
        return nullptr;
    Key made(key);
    Context check(EVP_PKEY_CTX_new_from_pkey(nullptr, made.get(), nullptr));
    if (!check || EVP_PKEY_public_check(check.get()) != 1) return nullptr;
    if (privateKey && EVP_PKEY_pairwise_check(check.get()) != 1) return nullptr;
    return made;
}

// A context for signing or verifying a SHA-256 digest with `key`.
Context DigestContext(EVP_PKEY* key, bool sign) {
    Context ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!ctx || (sign ? EVP_PKEY_sign_init(ctx.get()) : EVP_PKEY_verify_init(ctx.get())) <= 0 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()) <= 0)
        return nullptr;
    return ctx;
}

}  // namespace

bool VerifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature) {
    if (digest.size() != PL_SHA256_DIGEST_SIZE || signature.size() != PL_P256_SIGNATURE_SIZE) return false;
    Key key = MakeKey(publicKey, nullptr);
    if (!key) return false;
    // libcrypto takes the signature DER-encoded: r and s as two integers.
    std::unique_ptr<ECDSA_SIG, SigFree> sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(Bytes(signature), 32, nullptr);
    BIGNUM* s = BN_bin2bn(Bytes(signature) + 32, 32, nullptr);
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int derSize = i2d_ECDSA_SIG(sig.get(), &der);
    if (derSize <= 0) return false;
    Context ctx = DigestContext(key.get(), false);
    const bool good = ctx && EVP_PKEY_verify(ctx.get(), der, static_cast<std::size_t>(derSize), Bytes(digest),
                                             digest.size()) == 1;
    OPENSSL_free(der);
    return good;
}

bool GenerateP256(std::string& privateKey, std::string& publicKey) {
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!key) return false;
    unsigned char point[PL_P256_PUBLIC_KEY_SIZE];
    std::size_t pointSize = 0;
    BIGNUM* d = nullptr;
    if (EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &pointSize) != 1 ||
        pointSize != sizeof point || point[0] != 0x04 ||
        EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &d) != 1)
        return false;
    Number scalar(d);
    unsigned char secret[PL_P256_PRIVATE_KEY_SIZE];
    if (BN_bn2binpad(scalar.get(), secret, sizeof secret) != static_cast<int>(sizeof secret)) return false;
    privateKey.assign(reinterpret_cast<char*>(secret), sizeof secret);
    publicKey.assign(reinterpret_cast<char*>(point), sizeof point);
    OPENSSL_cleanse(secret, sizeof secret);
    return true;
}

bool SignP256(const std::string& privateKey, const std::string& publicKey, const std::string& digest,
              std::string& signature) {
    if (digest.size() != PL_SHA256_DIGEST_SIZE) return false;
    Key key = MakeKey(publicKey, &privateKey);
    Context ctx = key ? DigestContext(key.get(), true) : nullptr;
    std::size_t derSize = 0;
    if (!ctx || EVP_PKEY_sign(ctx.get(), nullptr, &derSize, Bytes(digest), digest.size()) <= 0) return false;
    std::string der(derSize, '\0');
    unsigned char* out = reinterpret_cast<unsigned char*>(der.data());
    if (EVP_PKEY_sign(ctx.get(), out, &derSize, Bytes(digest), digest.size()) <= 0) return false;
    const unsigned char* in = out;
    std::unique_ptr<ECDSA_SIG, SigFree> sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(derSize)));
    if (!sig) return false;
    unsigned char raw[PL_P256_SIGNATURE_SIZE];
    if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), raw, 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), raw + 32, 32) != 32)
        return false;
    signature.assign(reinterpret_cast<char*>(raw), sizeof raw);
    return true;
}

}  // namespace plat
