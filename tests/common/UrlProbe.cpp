#include "tests/common/UrlProbe.h"

#include "http/Url.h"

namespace testutil {
namespace {

// The promise an accepted address breaks, or "".
std::string Broken(const std::optional<nl::Url>& url) {
    if (!url) return "";
    const std::string text = url->Text();
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '#') return "a control character or # in " + text;
    if (url->Authority().find_first_of("@/?") != std::string::npos ||
        url->HostName().find_first_of("[]") != std::string::npos)
        return "the host " + url->Authority();
    if (url->Port() < 1 || url->Port() > 65535 || url->Path().empty() || url->Path()[0] != '/')
        return "the parts of " + text;
    const std::optional<nl::Url> again = nl::Url::Parse(text);
    return again && again->Text() == text ? "" : text + " does not read back as itself";
}

}  // namespace

bool ProbeUrl(const std::uint8_t* data, std::size_t size, std::string* fault) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const nl::Url::Pieces pieces = nl::Url::Split(text);
    const bool split = pieces.authority.find_first_of("/?#") == std::string::npos &&
                       (pieces.target.empty() || pieces.target[0] == '/' || pieces.target[0] == '?');
    *fault = split ? "" : "split into " + pieces.authority + " and " + pieces.target;
    const std::optional<nl::Url> url = nl::Url::Parse(text);
    static const std::optional<nl::Url> base = nl::Url::Parse("http://base.example:8080/a/b?c");
    if (fault->empty()) *fault = Broken(url);
    if (fault->empty()) *fault = Broken(base->Resolve(text));
    return url.has_value();
}

}  // namespace testutil
