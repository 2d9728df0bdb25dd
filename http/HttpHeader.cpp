#include "http/HttpHeader.h"

#include <cctype>
#include <cstdint>
#include <string_view>
#include <vector>

#include "support/AsciiText.h"
#include "support/modMain.h"

namespace nl {

bool LeadingNumber(const std::string& text, std::int32_t& value) {
    std::int64_t n = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        n = n * 10 + (c - '0');
        if (n > INT32_MAX) return false;
    }
    value = static_cast<std::int32_t>(n);
    return true;
}

std::string GetHeaderValue(const std::string& head, const std::string& name) {
    std::vector<std::string> lines;
    SplitText(head, "\r\n", lines);
    if (EqualsNoCase(name, "HTTP/1.")) {
        // "HTTP/1.x NNN", then " reason" or nothing: the reason phrase may be empty
        // or left out, and a line without the protocol name is no status line.
        const std::string& line = lines[0];
        if (line.size() >= 12 && line.compare(0, 7, "HTTP/1.") == 0 && line[8] == ' ') return line.substr(9, 3);
        return "";
    }
    for (const auto& line : lines) {
        const auto p = line.find(':');
        if (p == std::string::npos) continue;
        if (EqualsNoCase(std::string_view(line).substr(0, p), name)) return TrimSpaces(line.substr(p + 1));
    }
    return "";
}

std::int32_t ReplyStatusCode(const std::string& head) {
    const std::string digits = GetHeaderValue(head, "HTTP/1.");
    if (digits.size() != 3) return 0;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    return std::stoi(digits);
}

namespace {

constexpr std::size_t kMaxDigits = 18;  // what a 64-bit count holds with room to spare

// The decimal number at `pos` (moved past it); false when there is none or it has
// more than kMaxDigits digits.
bool Number(const std::string& s, std::size_t& pos, std::int64_t& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
        if (pos - start == kMaxDigits) return false;
        value = value * 10 + (s[pos] - '0');
        ++pos;
    }
    return pos > start;
}

void SkipSpaces(const std::string& s, std::size_t& pos) {
    while (pos < s.size() && s[pos] == ' ') ++pos;
}

// A header value quoted in a refusal: the server chose it, so only so much of it.
std::string Quoted(const std::string& v) { return v.size() <= 80 ? v : v.substr(0, 80) + "..."; }

}  // namespace

bool ParseContentRange(const std::string& value, std::int64_t& first, std::int64_t& last, std::int64_t& total) {
    std::size_t pos = 0;
    SkipSpaces(value, pos);
    if (EqualsNoCase(std::string_view(value).substr(pos, 5), "bytes")) pos += 5;
    SkipSpaces(value, pos);
    if (!Number(value, pos, first) || pos >= value.size() || value[pos] != '-') return false;
    ++pos;
    if (!Number(value, pos, last) || pos >= value.size() || value[pos] != '/') return false;
    ++pos;
    if (!Number(value, pos, total)) return false;
    SkipSpaces(value, pos);
    return pos == value.size() && first <= last && last < total;
}

bool LeadingCount(const std::string& text, std::int64_t& value) {
    std::size_t pos = 0;
    return Number(text, pos, value);
}

std::string CheckResponseStatus(const std::string& head, std::int64_t& fileSize) {
    const std::int32_t code = ReplyStatusCode(head);
    switch (code) {
        case 206: {
            // Without its range and total a partial reply cannot be placed in the
            // local file, nor can its end be known.
            const std::string v = GetHeaderValue(head, "Content-Range");
            std::int64_t first = 0, last = 0, total = 0;
            if (!ParseContentRange(v, first, last, total))
                return "The host sent a partial reply without a usable range and total size (Content-Range: " +
                       Quoted(v) + ")";
            fileSize = total;
            return "success";
        }
        case 200: {
            // A length that is no number, or one no count can hold, cannot bound
            // the body: such a reply is refused before a byte of it is written.
            const std::string v = GetHeaderValue(head, "Content-Length");
            std::int64_t n = 0;
            if (!v.empty() && !LeadingCount(v, n))
                return "The host announced a length that cannot be used (Content-Length: " + Quoted(v) + ")";
            fileSize = n;
            return "success";
        }
        case 416:
            return "No data lefts.";
        default:
            return "The host responses an error,State Code:" + std::to_string(code);
    }
}

AnnouncedLength ReplyLength(const std::string& head, std::int64_t& length) {
    length = 0;
    if (ReplyStatusCode(head) == 206) {
        const std::string v = GetHeaderValue(head, "Content-Range");
        if (v.empty()) return AnnouncedLength::Missing;
        std::int64_t first = 0, last = 0;
        if (!ParseContentRange(v, first, last, length)) return AnnouncedLength::Unusable;
        return AnnouncedLength::Known;
    }
    const std::string v = GetHeaderValue(head, "Content-Length");
    if (v.empty()) return AnnouncedLength::Missing;
    std::size_t pos = 0;
    if (!Number(v, pos, length)) {
        if (v.empty() || !std::isdigit(static_cast<unsigned char>(v[0]))) return AnnouncedLength::Unusable;
        length = INT64_MAX;  // more digits than any count holds
        return AnnouncedLength::TooLarge;
    }
    return AnnouncedLength::Known;
}

bool IsChunkedReply(const std::string& head) {
    return AsciiLower(GetHeaderValue(head, "Transfer-Encoding")).find("chunked") != std::string::npos;
}

}  // namespace nl
