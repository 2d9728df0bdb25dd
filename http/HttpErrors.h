// The download control's own error numbers. 380, 10001 and 10002 are raised to
// the caller of a setter or of StartDownload; the others reach the owner through
// OnError, beside the socket layer's numbers, which are passed through unchanged.
// The numbers overlap with the socket layer's (10004, 10008): an owner that acts
// on the kind of failure reads DownloadFile::LastFailure() instead.
#pragma once

#include <cstdint>

namespace nl::err {

// "Invalid property value": a text that would go into the request (Server,
// ProxyServer, URL, Agent, Referer, the credentials) holds a CR, LF or NUL, which
// would end its line and let the rest pass for request lines of its own. The
// setter refuses it and the value stays as it was.
constexpr std::int32_t kDownloadBadValue = 380;
// "Job is running,This property is read-only": a guarded setting during a transfer.
constexpr std::int32_t kDownloadBusy = 10001;
// "Invalid host name.": StartDownload without a server.
constexpr std::int32_t kDownloadNoHost = 10002;
// The reply was refused: a status other than 200 and 206 (the text names it, "No
// data lefts." for 416), a header with no end, a malformed chunked body, a 206
// without a usable Content-Range, one that does not start at the offset asked
// for, or one to a request without a Range line (the text names the offsets).
constexpr std::int32_t kDownloadRefused = 10003;
// The local file could not be deleted, opened, sought or written.
constexpr std::int32_t kDownloadLocalFile = 10004;
// "No data lefts": the local file already holds all the reply announces.
constexpr std::int32_t kDownloadNothingLeft = 10005;
// "The local file has existed": WhileFileExist 2 and the file is there.
constexpr std::int32_t kDownloadFileExists = 10006;
// The connection closed before the reply header or the whole body arrived.
constexpr std::int32_t kDownloadTruncated = 10007;
// "Time out.": no data for longer than TimeOut seconds.
constexpr std::int32_t kDownloadTimeOut = 10008;
// The reply announced more bytes than the owner's bound (MaxBytes), or its body
// grew past it; nothing beyond the bound is written.
constexpr std::int32_t kDownloadTooLarge = 10009;
// "The proxy refused the tunnel to HOST:PORT,State Code:407": the proxy answered
// a secure transfer's CONNECT with something other than 2xx.
constexpr std::int32_t kDownloadProxyRefused = 10010;

}  // namespace nl::err
