#include "tests/common/UrlProbe.h"

#include "http/Url.h"

namespace testutil {
namespace {

// What an accepted address must hold to, or the broken promise.
std::string Broken(const nl::Url& url) {
    const std::string text = url.Text();
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "a control character in " + text;
    if (text.find('#') != std::string::npos) return "a fragment in " + text;
    if (url.Authority().find_first_of("@/?") != std::string::npos) return "the authority " + url.Authority();
    if (url.HostName().empty() || url.HostName().find_first_of("[]") != std::string::npos)
        return "the host name " + url.HostName();
    if (url.Port() < 1 || url.Port() > 65535) return "the port " + std::to_string(url.Port());
    if (url.Path().empty() || url.Path()[0] != '/') return "the path " + url.Path();
    const std::optional<nl::Url> again = nl::Url::Parse(text);
    if (!again || again->Text() != text) return text + " does not read back as itself";
    return "";
}

}  // namespace

bool ProbeUrl(const std::uint8_t* data, std::size_t size, std::string* fault) {
    fault->clear();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const nl::Url::Pieces pieces = nl::Url::Split(text);
    if (pieces.authority.find_first_of("/?#") != std::string::npos ||
        (!pieces.target.empty() && pieces.target[0] != '/' && pieces.target[0] != '?'))
        *fault = "split into " + pieces.authority + " and " + pieces.target;

    const std::optional<nl::Url> url = nl::Url::Parse(text);
    if (url && fault->empty()) *fault = Broken(*url);
    static const std::optional<nl::Url> base = nl::Url::Parse("http://base.example:8080/a/b?c");
    const std::optional<nl::Url> resolved = base->Resolve(text);
    if (resolved && fault->empty()) *fault = Broken(*resolved);
    return url.has_value();
}

}  // namespace testutil
