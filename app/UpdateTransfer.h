// How the updater sets up its two transfers, the catalogue (check window) and
// the package (download window): the address, the account for the paid
// editions, the local file, and the bounds in size and time.
//
// Time: besides the control's idle time-out (30 s without a byte), the
// catalogue must arrive whole within kCatalogueDeadlineMs, and the package must
// keep coming at kPackageMinBytes in every kPackageRateWindowMs, however long it
// takes as a whole. Size: the catalogue is bounded at its own limit, the package
// at the catalogue's SIZE.
#pragma once

#include <cstdint>
#include <string>

namespace nl {

class DownloadFile;
class Url;

class UpdateTransfer {
public:
    static constexpr std::int32_t kCatalogueDeadlineMs = 120 * 1000;
    static constexpr std::int64_t kPackageMinBytes = 60 * 1024;  // 1 KiB/s on average
    static constexpr std::int32_t kPackageRateWindowMs = 60 * 1000;

    enum class Kind { Catalogue, Package };

    // Sets `box` up to fetch `address` into `localFile`: HTTP/1.0 into a fresh
    // file for the catalogue, HTTP/1.1 continuing a part for the package; the
    // account when `paid`; at most `maxBytes`. Failing steps are skipped; without
    // an address (none, or one refused) the transfer has nowhere to go.
    static void Configure(DownloadFile& box, Kind kind, const Url* address, const std::string& localFile, bool paid,
                          std::int64_t maxBytes);

    // The catalogue's SIZE as a byte count; 0 when it is no plain positive
    // decimal number (a package without one cannot be bounded).
    static std::int64_t SizeOf(const std::string& size);
};

}  // namespace nl
