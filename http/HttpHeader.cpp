#include "http/HttpHeader.h"

#include <cctype>
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
    if (EqualsNoCase(name, "HTTP/1.") && lines[0].size() > 13) return lines[0].substr(9, 3);
    for (const auto& line : lines) {
        const auto p = line.find(':');
        if (p == std::string::npos) continue;
        if (EqualsNoCase(std::string_view(line).substr(0, p), name)) return TrimSpaces(line.substr(p + 1));
    }
    return "";
}

std::int32_t ReplyStatusCode(const std::string& head) {
    std::int32_t code = 0;
    return LeadingNumber(GetHeaderValue(head, "HTTP/1."), code) ? code : 0;
}

std::string CheckResponseStatus(const std::string& head, std::int32_t& fileSize) {
    const std::int32_t code = ReplyStatusCode(head);
    std::int32_t n = 0;
    switch (code) {
        case 206: {
            std::string v = GetHeaderValue(head, "Content-Range");
            const auto slash = v.find('/');
            if (slash != std::string::npos) v = v.substr(slash + 1);
            if (LeadingNumber(v, n)) fileSize = n;
            return "success";
        }
        case 200:
            if (LeadingNumber(GetHeaderValue(head, "Content-Length"), n)) fileSize = n;
            return "success";
        case 416:
            return "No data lefts.";
        default:
            return "The host responses an error,State Code:" + std::to_string(code);
    }
}

bool IsChunkedReply(const std::string& head) {
    return AsciiLower(GetHeaderValue(head, "Transfer-Encoding")).find("chunked") != std::string::npos;
}

}  // namespace nl
