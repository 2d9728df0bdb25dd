// The catalogue's signature on this system's library: libcrypto on Linux, CNG
// under Wine. A catalogue signed with the OpenSSL command line holds here, and
// no change to it does; a key pair made here signs what it then verifies.
#include <gtest/gtest.h>

#include <string>

#include "app/SignedCatalogue.h"
#include "platform/Signature.h"

using nl::SignedCatalogue;

namespace {

// openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256; the body
// signed with openssl dgst -sha256 -sign, its r and s taken from the DER.
const std::string kKey =
    "04f7e98d0596cdda9ac6730b2aed884057beb972e37cdd358ec7237e8b4d182fb7"
    "ed8dfaa63baf02242f9c6f0db85b4162cc8510fb8a31ea05f1d2475f6b18a39e";
const std::string kBody =
    "[Info]\r\nVER=2.01.0105\r\nIssued=2026-12-07T10:00:00Z\r\n[Desktop]\r\nSIZE=4000\r\n"
    "DOWNLOAD=http://127.0.0.1/pkg.bin\r\nSHA256=0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef\r\n";
const std::string kSigned =
    kBody + "[Signature]\r\nECDSA-P256=380d253e03629048bcc9f736fae74b5c143b6067ced1e66d4e71043aefa6f924"
            "431d12fa51c9630e046c04d828f274f8d6dc85729db061db25534e50cf0b2254\r\n";

std::string Changed(std::string s, const std::string& from, const std::string& to) {
    return s.replace(s.find(from), from.size(), to);
}

}  // namespace

TEST(SignedCatalogue, SignedElsewhereHoldsHereAndNoChangeDoes) {
    const struct {
        const char* what;
        std::string bytes, key;
        const char* refusal;  // "" when it holds
    } cases[] = {
        {"as signed", kSigned, kKey, ""},
        {"without the last line break", kSigned.substr(0, kSigned.size() - 2), kKey, ""},
        {"one byte of the catalogue changed", Changed(kSigned, "4000", "4001"), kKey, "does not hold"},
        {"one digit of the signature changed", Changed(kSigned, "2254\r\n", "2255\r\n"), kKey, "does not hold"},
        {"a section after the signature", kSigned + "[Desktop]\r\n", kKey, "something follows"},
        {"no signature", kBody, kKey, "not signed"},
        {"a key that is no point on the curve", kSigned, Changed(kKey, "04f7", "04f8"), "does not hold"},
        {"a key that is no key", kSigned, "04f7", "not a P-256 public key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string refusal = SignedCatalogue::Refusal(c.bytes, c.key);
        if (*c.refusal)
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        else
            EXPECT_EQ(refusal, "");
    }
}

TEST(SignedCatalogue, AKeyMadeHereSignsWhatItVerifies) {
    std::string privateKey, publicKey;
    ASSERT_TRUE(plat::GenerateP256(privateKey, publicKey));
    const std::string signedHere = SignedCatalogue::Sign(kBody, privateKey, publicKey);
    EXPECT_EQ(SignedCatalogue::Refusal(signedHere, SignedCatalogue::KeyText(publicKey)), "");
    EXPECT_NE(SignedCatalogue::Refusal(signedHere, kKey), "");
    EXPECT_EQ(SignedCatalogue::Unsigned(signedHere), kBody);
}
