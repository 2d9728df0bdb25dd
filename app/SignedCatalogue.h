// The update catalogue's signature. A signed catalogue is the catalogue's bytes
// as served, followed by one last section of one line:
//
//   [Signature]
//   ECDSA-P256=<128 hex digits: r and s of an ECDSA P-256 signature>
//
// The signature covers every byte before the "[Signature]" line, and is made
// over their SHA-256 digest. Nothing may follow its line but a line break. A
// reader that knows nothing of signatures sees one more section, which it
// ignores. The public key is written as one line: 130 hex digits, the point
// 04 || X || Y.
#pragma once

#include <cstdint>
#include <string>

namespace nl {

class SignedCatalogue {
public:
    static constexpr const char* kSection = "Signature";
    static constexpr const char* kKey = "ECDSA-P256";

    // Splits catalogue bytes into the signed part and the raw signature. False
    // when they do not end in a signature section of the form above; `reason`
    // then says what is wrong.
    static bool Split(const std::string& bytes, std::string& signedPart, std::string& signature,
                      std::string* reason = nullptr);
    // "" when the catalogue carries a signature that the public key (its one-line
    // text) verifies; otherwise the reason, in a few words.
    static std::string Refusal(const std::string& bytes, const std::string& publicKeyText);
    // The unsigned part (which must end with a line break) with its signature
    // section appended; "" when the key cannot sign.
    static std::string Sign(const std::string& unsignedPart, const std::string& privateKey,
                            const std::string& publicKey);
    // The same bytes without their signature section (the bytes themselves
    // when they carry none).
    static std::string Unsigned(const std::string& bytes);

    // A public key as its one-line text, and back; false for text that is no
    // uncompressed P-256 point (blanks around it are allowed).
    static std::string KeyText(const std::string& publicKey);
    static bool KeyFromText(const std::string& text, std::string& publicKey);

    // "Issued" is the publishing time in UTC, written 2026-12-07T10:00:00Z; in
    // that form the later time is the greater text.
    static bool IsIssuedTime(const std::string& text);
    static std::string IssuedNow();
    // A time in that form from seconds since 1970-01-01T00:00:00Z, and back
    // (false for text not in the form).
    static std::string TimeText(std::int64_t seconds);
    static bool SecondsOf(const std::string& text, std::int64_t& seconds);
    // The machine's clock, in seconds since 1970-01-01T00:00:00Z.
    static std::int64_t Now();

};

}  // namespace nl
