// How the updater sets up its two transfers, the catalogue (check window) and
// the package (download window): the address, the account for the paid
// editions, the local file, and the bounds in size and time.
//
// Time: besides the control's idle time-out (30 s without a byte), the
// catalogue must arrive whole within kCatalogueDeadlineMs, and the package must
// keep coming at kPackageMinBytes in every kPackageRateWindowMs, however long it
// takes as a whole. Size: the catalogue is bounded at its own limit, the package
// at the catalogue's SIZE.
//
// An https: address is fetched over TLS, its server verified against the
// system's trust store and the certificates in HKEY_LOCAL_MACHINE
// "Software\Brightloom" "UpdateCA" (a PEM file), when that is set. Redirects
// (301, 302, 307, 308) are followed up to kMaxRedirects, never from https: down
// to http:; the account goes only to the address it was meant for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nl {

class DownloadFile;
class Url;

class UpdateTransfer {
public:
    static constexpr std::int32_t kCatalogueDeadlineMs = 120 * 1000;
    static constexpr std::int64_t kPackageMinBytes = 60 * 1024;  // 1 KiB/s on average
    static constexpr std::int32_t kPackageRateWindowMs = 60 * 1000;
    static constexpr int kMaxRedirects = 5;

    enum class Kind { Catalogue, Package };

    // Sets `box` up to fetch `address` into `localFile`: HTTP/1.0 into a fresh
    // file for the catalogue, HTTP/1.1 continuing a part for the package; the
    // account when `paid` and none otherwise; UpdateCA; at most `maxBytes`.
    // Failing steps are skipped; without an address (none, or one refused) the
    // transfer has nowhere to go.
    static void Configure(DownloadFile& box, Kind kind, const Url* address, const std::string& localFile, bool paid,
                          std::int64_t maxBytes);

    // The catalogue's SIZE as a byte count; 0 when it is no plain positive
    // decimal number (a package without one cannot be bounded).
    static std::int64_t SizeOf(const std::string& size);

    // The UpdateCA file; "" when unset or unreadable.
    static std::string CaFile();
    // Where the redirect answer `box` got for `from` leads, when it is to be
    // followed: a Location that keeps the scheme or goes from http: up to
    // https:, after fewer than kMaxRedirects (`followed` so far). Nothing, with
    // `why`, when the answer is a redirect that is not followed; nothing with
    // `why` empty when it is no redirect at all.
    static std::optional<Url> Redirect(const DownloadFile& box, const Url& from, int followed, std::string& why);
    // The same scheme, host and port: where the account may go.
    static bool SameOrigin(const Url& a, const Url& b);
};

}  // namespace nl
