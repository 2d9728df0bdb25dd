#include "support/modMain.h"

#include <filesystem>
#include <limits>
#include <system_error>

#include "platform/Files.h"
#include "support/ErrorReport.h"
#include "support/SupportErrors.h"

namespace nl {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kMaxPosition = 32767;  // positions are 16-bit signed
}  // namespace

std::string Base64Encode(const std::string& text) {
    if (text.size() > kMaxPosition) Raise(err::kOverflow, "modMain.Base64Encode", "Overflow");
    const std::size_t n = text.size();
    const std::size_t whole = n - n % 3;
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    auto code = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < whole; i += 3) {
        unsigned c1 = code(i), c2 = code(i + 1), c3 = code(i + 2);
        out += kAlphabet[c1 / 4];
        out += kAlphabet[(c1 % 4) * 16 + c2 / 16];
        out += kAlphabet[(c2 % 16) * 4 + c3 / 64];
        out += kAlphabet[c3 % 64];
    }
    if (n % 3 == 2) {
        unsigned c1 = code(whole), c2 = code(whole + 1);
        out += kAlphabet[c1 / 4];
        out += kAlphabet[(c1 % 4) * 16 + c2 / 16];
        out += kAlphabet[(c2 % 16) * 4];
        out += '=';
    } else if (n % 3 == 1) {
        unsigned c1 = code(whole);
        out += kAlphabet[c1 / 4];
        out += kAlphabet[(c1 % 4) * 16];
        out += "==";
    }
    return out;
}

std::int32_t SafeFileLen(const std::string& path) {
    if (path.empty()) return -1;
    std::error_code ec;
    const std::filesystem::path p = plat::Utf8Path(path);
    if (!std::filesystem::is_regular_file(p, ec) || ec) return -1;
    auto size = std::filesystem::file_size(p, ec);
    if (ec || size > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max())) return -1;
    return static_cast<std::int32_t>(size);
}

std::string ReplaceFirst(const std::string& text, const std::string& find, const std::string& replacement) {
    const std::size_t p = text.find(find);
    if (p == std::string::npos) return text;
    if (p + 1 > kMaxPosition) Raise(err::kOverflow, "modMain.ReplaceFirst", "Overflow");
    std::string out;
    out.reserve(text.size() - find.size() + replacement.size());
    out.append(text, 0, p);
    out += replacement;
    out.append(text, p + find.size(), std::string::npos);
    return out;
}

std::int32_t InStrLast(const std::string& text, const std::string& find) {
    if (find.size() > text.size()) return 0;
    const std::size_t p = text.rfind(find);
    return p == std::string::npos ? 0 : static_cast<std::int32_t>(p + 1);
}

void SplitText(const std::string& text, const std::string& delimiter, std::vector<std::string>& parts) {
    parts.assign(1, std::string());
    if (delimiter.empty()) {
        parts[0] = text;
        return;
    }
    bool hit = false;
    std::size_t pieceStart = 0;  // just after the previous delimiter
    std::size_t from = 0;
    for (;;) {
        const std::size_t p = text.find(delimiter, from);
        if (p == std::string::npos) break;
        std::string piece = p > pieceStart ? text.substr(pieceStart, p - pieceStart) : std::string();
        if (!hit) {
            parts[0] = std::move(piece);
            hit = true;
        } else {
            parts.push_back(std::move(piece));
        }
        pieceStart = p + delimiter.size();
        from = p + 1;
    }
    if (!hit)
        parts[0] = text;
    else if (pieceStart < text.size())
        parts.push_back(text.substr(pieceStart));
}

}  // namespace nl
