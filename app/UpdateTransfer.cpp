#include "app/UpdateTransfer.h"

#include "app/Catalogue.h"
#include "app/ProductKey.h"
#include "http/DownloadFile.h"
#include "http/HttpHeader.h"
#include "http/Url.h"
#include "platform/Registry.h"
#include "support/AsciiText.h"
#include "support/ErrorReport.h"

namespace nl {

void UpdateTransfer::Configure(DownloadFile& box, Kind kind, const Url* address, const std::string& localFile,
                               bool paid, std::int64_t maxBytes) {
    const bool package = kind == Kind::Package;
    // A box that followed a redirect elsewhere may hold the account: it goes.
    TryStep([&] { box.SetUseHttpAuthorization(paid); });
    TryStep([&] { box.SetUserName(paid ? Catalogue::kAccount : ""); });
    TryStep([&] { box.SetUserPassword(paid ? Catalogue::kAccountPassword : ""); });
    if (address) TryStep([&] { box.SetAddress(*address); });
    TryStep([&] { box.SetCaFile(CaFile()); });
    TryStep([&] { box.SetLocalFileName(localFile); });
    TryStep([&] { box.SetHTTPVersion(package ? 1 : 0); });
    TryStep([&] { box.SetWhileFileExist(package ? 1 : 0); });
    box.SetMaxBytes(maxBytes);
    box.SetDeadline(package ? 0 : kCatalogueDeadlineMs);
    box.SetMinRate(package ? kPackageMinBytes : 0, package ? kPackageRateWindowMs : 0);
}

std::int64_t UpdateTransfer::SizeOf(const std::string& size) {
    if (size.empty() || size.size() > 18 || size.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::stoll(size);
}

std::string UpdateTransfer::CaFile() {
    try {
        const std::string file =
            TrimSpaces(ProductKey::Text(cRegistry::PL_HKEY_LOCAL_MACHINE, "UpdateCA").Value().ToText());
        return file.find_first_of("\r\n") == std::string::npos ? file : "";
    } catch (const RaisedError&) {
        return "";  // an unreadable store counts as no setting
    }
}

std::optional<Url> UpdateTransfer::Redirect(const DownloadFile& box, const Url& from, int followed,
                                            std::string& why) {
    why.clear();
    if (box.LastFailure() != DownloadFailure::HttpStatus) return std::nullopt;
    const std::int32_t code = ReplyStatusCode(box.ReceiveHead());
    if (code != 301 && code != 302 && code != 307 && code != 308) return std::nullopt;
    const std::string status = "HTTP " + std::to_string(code);
    if (followed >= kMaxRedirects) {
        why = status + ": more than " + std::to_string(kMaxRedirects) + " redirects";
        return std::nullopt;
    }
    std::optional<Url> there = from.Resolve(TrimSpaces(GetHeaderValue(box.ReceiveHead(), "Location")), &why);
    if (!there) {
        why = status + " to an address that is not followed: " + why;
        return std::nullopt;
    }
    if (from.GetTransport() == Url::Transport::Tls && there->GetTransport() != Url::Transport::Tls) {
        // What TLS kept from others on the way would go in clear text.
        why = status + " from https: down to " + there->Text() + " is not followed";
        return std::nullopt;
    }
    return there;
}

bool UpdateTransfer::SameOrigin(const Url& a, const Url& b) {
    return a.Scheme() == b.Scheme() && AsciiLower(a.HostName()) == AsciiLower(b.HostName()) && a.Port() == b.Port();
}

}  // namespace nl
