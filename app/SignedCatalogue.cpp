#include "app/SignedCatalogue.h"

#include <chrono>
#include <cstdio>

#include "platform/Signature.h"
#include "support/HexText.h"
#include "support/Sha256.h"

namespace nl {
namespace {

// The raw SHA-256 digest of bytes.
std::string DigestOf(const std::string& bytes) {
    std::string raw;
    BytesOfHex(Sha256::Of(bytes), raw);
    return raw;
}

// Skips one line break ("\r\n" or "\n") at `at`; false when there is none.
bool SkipLineBreak(const std::string& s, std::size_t& at) {
    if (at < s.size() && s[at] == '\r') ++at;
    if (at >= s.size() || s[at] != '\n') return false;
    ++at;
    return true;
}

// Where the last "[Signature]" line starts; npos when there is none.
std::size_t SignatureLine(const std::string& bytes) {
    const std::string header = std::string("[") + SignedCatalogue::kSection + "]";
    std::size_t at = bytes.rfind(header);
    while (at != std::string::npos && at != 0 && bytes[at - 1] != '\n') at = bytes.rfind(header, at - 1);
    return at;
}

}  // namespace

bool SignedCatalogue::Split(const std::string& bytes, std::string& signedPart, std::string& signature,
                            std::string* reason) {
    auto fail = [reason](const char* why) {
        if (reason) *reason = why;
        return false;
    };
    const std::size_t start = SignatureLine(bytes);
    if (start == std::string::npos) return fail("the catalogue is not signed");
    // "[Signature]", a line break, "ECDSA-P256=" and the digits, and at most a
    // line break after them: nothing else may follow the signed bytes.
    std::size_t at = start + std::string(kSection).size() + 2;
    const std::string key = std::string(kKey) + "=";
    if (!SkipLineBreak(bytes, at) || bytes.compare(at, key.size(), key) != 0)
        return fail("the catalogue's signature section is not in its form");
    at += key.size();
    const std::size_t digitsEnd = at + 2 * plat::PL_P256_SIGNATURE_SIZE;
    std::string raw;
    if (digitsEnd > bytes.size() || !BytesOfHex(bytes.substr(at, digitsEnd - at), raw))
        return fail("the catalogue's signature is not 128 hex digits");
    at = digitsEnd;
    if (at != bytes.size() && (!SkipLineBreak(bytes, at) || at != bytes.size()))
        return fail("something follows the catalogue's signature");
    signedPart = bytes.substr(0, start);
    signature = raw;
    return true;
}

std::string SignedCatalogue::Refusal(const std::string& bytes, const std::string& publicKeyText) {
    std::string publicKey;
    if (!KeyFromText(publicKeyText, publicKey)) return "the update key is not a P-256 public key (130 hex digits)";
    std::string signedPart, signature, why;
    if (!Split(bytes, signedPart, signature, &why)) return why;
    if (!plat::VerifyP256(publicKey, DigestOf(signedPart), signature))
        return "the catalogue's signature does not hold for the update key";
    return "";
}

std::string SignedCatalogue::Sign(const std::string& unsignedPart, const std::string& privateKey,
                                  const std::string& publicKey) {
    std::string signature;
    if (unsignedPart.empty() || unsignedPart.back() != '\n' ||
        !plat::SignP256(privateKey, publicKey, DigestOf(unsignedPart), signature))
        return "";
    return unsignedPart + "[" + kSection + "]\r\n" + kKey + "=" + HexText(signature) + "\r\n";
}

std::string SignedCatalogue::Unsigned(const std::string& bytes) {
    const std::size_t start = SignatureLine(bytes);
    return start == std::string::npos ? bytes : bytes.substr(0, start);
}

std::string SignedCatalogue::KeyText(const std::string& publicKey) { return HexText(publicKey); }

bool SignedCatalogue::KeyFromText(const std::string& text, std::string& publicKey) {
    const std::size_t b = text.find_first_not_of(" \t\r\n");
    const std::size_t e = text.find_last_not_of(" \t\r\n");
    std::string raw;
    if (b == std::string::npos || !BytesOfHex(text.substr(b, e - b + 1), raw) ||
        raw.size() != plat::PL_P256_PUBLIC_KEY_SIZE || raw[0] != 0x04)
        return false;
    publicKey = raw;
    return true;
}

bool SignedCatalogue::IsIssuedTime(const std::string& text) {
    // YYYY-MM-DDTHH:MM:SSZ
    const char* form = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != 20) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (form[i] == 'd' ? !digit : text[i] != form[i]) return false;
    }
    auto field = [&](std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    const int month = field(5), day = field(8);
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && field(11) <= 23 && field(14) <= 59 &&
           field(17) <= 60;
}

std::string SignedCatalogue::IssuedNow() { return TimeText(Now()); }

std::int64_t SignedCatalogue::Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Days and civil dates of the proleptic Gregorian calendar, counted from 1970-01-01.
std::string SignedCatalogue::TimeText(std::int64_t seconds) {
    std::int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) rest += 86400, --days;
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

bool SignedCatalogue::SecondsOf(const std::string& text, std::int64_t& seconds) {
    if (!IsIssuedTime(text)) return false;
    auto number = [&](std::size_t at, std::size_t n) { return std::stoll(text.substr(at, n)); };
    const std::int64_t month = number(5, 2), day = number(8, 2);
    const std::int64_t year = number(0, 4) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = era * 146097 + doe - 719468;
    seconds = days * 86400 + number(11, 2) * 3600 + number(14, 2) * 60 + number(17, 2);
    return true;
}

}  // namespace nl
