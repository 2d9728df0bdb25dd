#include "app/UpdateTransfer.h"

#include "app/Catalogue.h"
#include "http/DownloadFile.h"
#include "http/Url.h"
#include "support/ErrorReport.h"

namespace nl {

void UpdateTransfer::Configure(DownloadFile& box, Kind kind, const Url* address, const std::string& localFile,
                               bool paid, std::int64_t maxBytes) {
    const bool package = kind == Kind::Package;
    if (paid) {
        TryStep([&] { box.SetUseHttpAuthorization(true); });
        TryStep([&] { box.SetUserName(Catalogue::kAccount); });
        TryStep([&] { box.SetUserPassword(Catalogue::kAccountPassword); });
    }
    if (address) TryStep([&] { box.SetAddress(*address); });
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

}  // namespace nl
