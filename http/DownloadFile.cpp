#include "http/DownloadFile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "platform/Files.h"
#include "support/modMain.h"
#include "http/HttpHeader.h"
#include "net/CSocket.h"
#include "support/ErrorReport.h"
#include "http/HttpErrors.h"
#include "http/Url.h"
#include "net/NetErrors.h"
#include "support/AsciiText.h"
#include "support/SupportErrors.h"

namespace nl {

const char* const DownloadFile::kDefaultAgent = "Tarnwick Hurrycast!(http://www.tarnwick.example/)";

namespace {

constexpr const char* kBusyText = "Job is running,This property is read-only";
constexpr const char* kLocalFileText = "Cann't open or creat the local file";
constexpr const char* kWriteText = "The local file could not be written";
constexpr const char* kNoDataText = "No data lefts";

// An address from a scheme, a server property ("srv", "srv:8080", "[::1]"), the
// port when that names none, and a request target; nothing when the property
// names no usable host (http/Url.h).
std::optional<Url> AddressOf(const std::string& scheme, const std::string& server, std::int32_t port,
                             const std::string& target) {
    const std::string host = TrimSpaces(server);
    if (host.empty() || host.find_first_of("/?#") != std::string::npos) return std::nullopt;
    const std::optional<Url> alone = Url::Parse(scheme + "://" + host);
    if (!alone) return std::nullopt;
    return Url::Parse(scheme + "://" + host + (alone->NamesPort() ? "" : ":" + std::to_string(port)) +
                      (target.empty() || target[0] != '/' ? "/" : "") + target);
}

// Ports were 16-bit signed, which shut out every port above 32767; they now take
// the whole unsigned range as well, and still refuse what fits neither.
std::int32_t CheckPort(std::int32_t v, const char* property) {
    if (v < -32768 || v > 65535) Raise(err::kOverflow, std::string("DownloadFile.") + property, "Overflow");
    return v;
}

// A text that goes into the request: a CR or LF would end its line there and let
// the rest pass for lines of the request's own, and a NUL cuts it short.
bool BreaksALine(const std::string& v) { return v.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

const std::string& RequestText(const std::string& v, const char* property) {
    if (BreaksALine(v))
        Raise(err::kDownloadBadValue, std::string("DownloadFile.") + property,
              "Invalid property value: a line break or NUL character cannot be sent in a request");
    return v;
}

Variant Color(std::uint32_t c) { return Variant(static_cast<std::int32_t>(c)); }

bool LocalFileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(plat::Utf8Path(path), ec);
}

// The local file's length in bytes, -1 when it is missing or cannot be examined.
std::int64_t LocalFileLength(const std::string& path) {
    if (!LocalFileExists(path)) return -1;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(plat::Utf8Path(path), ec);
    if (ec || size > static_cast<std::uintmax_t>(INT64_MAX)) return -1;
    return static_cast<std::int64_t>(size);
}

// A 416 reply's "Content-Range: bytes */N" names the whole file's length N; true
// when N equals what the local file holds.
bool WholeFileHeld(const std::string& head, std::int64_t held) {
    const std::string range = GetHeaderValue(head, "Content-Range");
    const std::string unit = "bytes */";
    if (held <= 0 || range.size() <= unit.size() || AsciiLower(range.substr(0, unit.size())) != unit) return false;
    const std::string total = range.substr(unit.size());
    if (total.find_first_not_of("0123456789") != std::string::npos) return false;
    std::int64_t n = 0;
    return LeadingCount(total, n) && n == held;
}

}  // namespace

// ---- creation and layout -------------------------------------------------------

DownloadFile::DownloadFile() : agent_(kDefaultAgent) {
    tmrDownload_.SetInterval(50);
    tmrTimeout_.SetInterval(1000);
    tmrDownload_.OnTimer = [this] { DownloadTimer_Tick(); };
    tmrTimeout_.OnTimer = [this] { TimeoutTimer_Tick(); };
    tmrDeadline_.OnTimer = [this] { DeadlineTimer_Tick(); };
    tmrRate_.OnTimer = [this] { RateTimer_Tick(); };
    lblProgress_.Caption = "0%";
    shpBorder_.BorderColor = kDefaultBorderColor;
    surface_.SetFillColor(kDefaultProgressColor);
    lblProgress_.Move(0, 0);
    shpBorder_.Move(0, 0);
    Resize(3600, 300);
}

DownloadFile::~DownloadFile() {
    // Handlers still on the stack see the control gone and stop.
    life_.End();
}

void DownloadFile::Resize(std::int32_t width, std::int32_t height) {
    if (height < 300) height = 300;
    if (width < 1200) width = 1200;
    surface_.SetSize(width, height);
    shpBorder_.Width = width;
    shpBorder_.Height = height;
    surface_.Clear();
    if (host_.DesignMode()) {
        surface_.FillRect(0, 0, width / 2, height);
        lblProgress_.Caption = "50%";
    } else {
        lblProgress_.Caption = "0%";
        surface_.SetBackColor(surface_.BackColor());
    }
    lblProgress_.Width = width;
    lblProgress_.Top = (height - lblProgress_.Height) / 2 + 16;
}

void DownloadFile::Show() {
    if (host_.DesignMode())
        surface_.FillRect(0, 0, Width() / 2, Height());
    else
        surface_.SetBackColor(surface_.BackColor());
}

// ---- persistence -----------------------------------------------------------------

void DownloadFile::WriteProperties(PropertyBag& bag) const {
    bag.WriteProperty("Server", server_, "");
    bag.WriteProperty("Port", port_, 80);
    bag.WriteProperty("ProxyServer", proxyServer_, "");
    bag.WriteProperty("ProxyPort", proxyPort_, 1080);
    bag.WriteProperty("ProxyUserName", proxyUserName_, "");
    bag.WriteProperty("ProxyPassword", proxyPassword_, "");
    bag.WriteProperty("DownloadedSize", DownloadedSize(), 0);
    bag.WriteProperty("DownloadFileSize", DownloadFileSize(), 0);
    bag.WriteProperty("Referer", referer_, "");
    bag.WriteProperty("Agent", agent_, kDefaultAgent);
    bag.WriteProperty("NoCache", noCache_, true);
    bag.WriteProperty("URL", url_, "/");
    bag.WriteProperty("LocalFileName", localFileName_, "");
    bag.WriteProperty("WhileFileExist", whileFileExist_, 0);
    bag.WriteProperty("ReceiveHead", receiveHead_, "");
    bag.WriteProperty("BorderColor", Color(shpBorder_.BorderColor), Color(kDefaultBorderColor));
    bag.WriteProperty("TimeOut", timeOut_, 30);
    bag.WriteProperty("IsBusy", isBusy_, false);
    // The fill colour and ProgressColor share one key and are read back in order:
    // when ProgressColor is saved, the fill colour is saved before it even at its
    // default, so that the entry read second is ProgressColor's.
    const bool progressColorSaved = progressColor_ != kDefaultProgressColor;
    bag.WriteProperty("ProgressColor", Color(surface_.FillColor()), progressColorSaved ? Variant() : Color(0));
    bag.WriteProperty("ForeColor", Color(lblProgress_.ForeColor), Color(kDefaultForeColor));
    bag.WriteProperty("HTTPVersion", httpVersion_, 0);
    bag.WriteProperty("FileNumber", fileNumber_, 0);
    bag.WriteProperty("StateCode", stateCode_, 0);
    bag.WriteProperty("StateStr", stateStr_, "Ready");
    bag.WriteProperty("NeverDeleteTmpFile", neverDeleteTmpFile_, true);
    bag.WriteProperty("ProgressColor", Color(progressColor_), Color(kDefaultProgressColor));
    bag.WriteProperty("UserName", userName_, "");
    bag.WriteProperty("UserPassword", userPassword_, "");
    bag.WriteProperty("UseHttpAuthorization", useHttpAuthorization_, false);
    bag.WriteProperty("Secure", secure_, false);
}

void DownloadFile::ReadProperties(PropertyBag& bag) {
    // Straight into the members: none of the setters' rules apply.
    auto readPort = [&](const char* key, std::int32_t def) {
        const std::int32_t v = bag.ReadInt32(key, def);
        return v < -32768 || v > 65535 ? def : v;
    };
    auto readColor = [&](const char* key, std::uint32_t def) {
        return static_cast<std::uint32_t>(bag.ReadInt32(key, static_cast<std::int32_t>(def)));
    };
    // A text for the request that would break its lines counts as missing.
    auto readRequestText = [&](const char* key, const std::string& def) {
        std::string v = bag.ReadString(key, def);
        return BreaksALine(v) ? def : v;
    };
    server_ = readRequestText("Server", "");
    port_ = readPort("Port", 80);
    proxyServer_ = readRequestText("ProxyServer", "");
    proxyPort_ = readPort("ProxyPort", 1080);
    proxyUserName_ = readRequestText("ProxyUserName", "");
    proxyPassword_ = readRequestText("ProxyPassword", "");
    downloadedSize_ = bag.ReadInt32("DownloadedSize", 0);
    downloadFileSize_ = bag.ReadInt32("DownloadFileSize", 0);
    referer_ = readRequestText("Referer", "");
    agent_ = readRequestText("Agent", kDefaultAgent);
    noCache_ = bag.ReadBool("NoCache", true);
    url_ = readRequestText("URL", "/");
    localFileName_ = bag.ReadString("LocalFileName", "");
    whileFileExist_ = bag.ReadInt32("WhileFileExist", 0);
    receiveHead_ = bag.ReadString("ReceiveHead", "");
    shpBorder_.BorderColor = readColor("BorderColor", kDefaultBorderColor);
    timeOut_ = bag.ReadInt32("TimeOut", 30);
    const bool busy = bag.ReadBool("IsBusy", false);
    // A saved "busy" describes a transfer of the design session; at run time no
    // transfer is running, and taking it over would lock the control for good.
    isBusy_ = host_.DesignMode() ? busy : false;
    surface_.SetFillColor(readColor("ProgressColor", kDefaultFillColorRead));
    lblProgress_.ForeColor = readColor("ForeColor", kDefaultForeColor);
    httpVersion_ = bag.ReadInt32("HTTPVersion", 0);
    fileNumber_ = bag.ReadInt32("FileNumber", 0);
    stateCode_ = bag.ReadInt32("StateCode", 0);
    stateStr_ = bag.ReadString("StateStr", "Ready");
    neverDeleteTmpFile_ = bag.ReadBool("NeverDeleteTmpFile", true);
    progressColor_ = readColor("ProgressColor", kDefaultProgressColor);
    userName_ = readRequestText("UserName", "");
    userPassword_ = readRequestText("UserPassword", "");
    useHttpAuthorization_ = bag.ReadBool("UseHttpAuthorization", false);
    secure_ = bag.ReadBool("Secure", false);
}

// ---- setters -----------------------------------------------------------------------

bool DownloadFile::Guard(const char* property) {
    if (isBusy_) Raise(err::kDownloadBusy, std::string("DownloadFile.") + property, kBusyText);
    return ResetDisplay();
}

bool DownloadFile::ResetDisplay() {
    surface_.Clear();
    lblProgress_.Caption = "0%";
    downloadedSize_ = 0;
    downloadFileSize_ = 0;
    receiveHead_.clear();
    return Changed("DownloadedSize") && Changed("DownloadFileSize") && Changed("ReceiveHead");
}

void DownloadFile::ReadOnly(const char* property) const {
    host_.RefuseReadOnly(std::string("DownloadFile.") + property);
}

void DownloadFile::SetNeverDeleteTmpFile(bool v) {
    neverDeleteTmpFile_ = v;
    Changed("NeverDeleteTmpFile");
}

void DownloadFile::SetTimeOut(std::int32_t seconds) {
    if (!Guard("TimeOut")) return;
    timeOut_ = seconds < 10 || seconds > 2000 ? 30 : seconds;
    Changed("TimeOut");
}

void DownloadFile::SetServer(const std::string& v) {
    RequestText(v, "Server");
    if (!Guard("Server")) return;
    server_ = Url::Split(v).authority;  // "http://srv:8080/x?y" -> "srv:8080"
    Changed("Server");
}

void DownloadFile::SetPort(std::int32_t v) {
    const std::int32_t port = CheckPort(v, "Port");
    if (!Guard("Port")) return;
    port_ = port;
    Changed("Port");
}

void DownloadFile::SetProxyServer(const std::string& v) {
    RequestText(v, "ProxyServer");
    if (!Guard("ProxyServer")) return;
    proxyServer_ = Url::Split(v).authority;
    Changed("ProxyServer");
}

void DownloadFile::SetProxyPort(std::int32_t v) {
    const std::int32_t port = CheckPort(v, "ProxyPort");
    if (!Guard("ProxyPort")) return;
    proxyPort_ = port;
    Changed("ProxyPort");
}

void DownloadFile::SetProxyUserName(const std::string& v) {
    RequestText(v, "ProxyUserName");
    if (!Guard("ProxyUserName")) return;
    proxyUserName_ = TrimSpaces(v);
    Changed("ProxyUserName");
}

void DownloadFile::SetProxyPassword(const std::string& v) {
    RequestText(v, "ProxyPassword");
    if (!Guard("ProxyPassword")) return;
    proxyPassword_ = TrimSpaces(v);
    Changed("ProxyPassword");
}

void DownloadFile::SetDownloadedSize(std::int32_t) { ReadOnly("DownloadedSize"); }
void DownloadFile::SetDownloadFileSize(std::int32_t) { ReadOnly("DownloadFileSize"); }
void DownloadFile::SetStateCode(std::int32_t) { ReadOnly("StateCode"); }
void DownloadFile::SetStateStr(const std::string&) { ReadOnly("StateStr"); }
void DownloadFile::SetReceiveHead(const std::string&) { ReadOnly("ReceiveHead"); }
void DownloadFile::SetIsBusy(bool) { ReadOnly("IsBusy"); }
void DownloadFile::SetFileNumber(std::int32_t) { ReadOnly("FileNumber"); }

void DownloadFile::SetReferer(const std::string& v) {
    RequestText(v, "Referer");
    if (!Guard("Referer")) return;
    referer_ = TrimSpaces(v);
    Changed("Referer");
}

void DownloadFile::SetAgent(const std::string& v) {
    RequestText(v, "Agent");
    if (!Guard("Agent")) return;
    agent_ = v;
    Changed("Agent");
}

void DownloadFile::SetNoCache(bool v) {
    if (!Guard("NoCache")) return;
    noCache_ = v;
    Changed("NoCache");
}

void DownloadFile::SetURL(const std::string& v) {
    RequestText(v, "URL");
    if (!Guard("URL")) return;
    // "http://srv/a/b.zip" -> "/a/b.zip"; "dir\name.zip" -> "/name.zip"; "name.zip" -> "/".
    const std::string target = Url::Split(ReplaceFirst(TrimSpaces(v), "\\", "/")).target;
    url_ = target.empty() ? "/" : target;
    Changed("URL");
}

void DownloadFile::SetAddress(const Url& address) {
    SetServer(address.Host());
    SetSecure(address.GetTransport() == Url::Transport::Tls);
    SetPort(address.Port());
    // The target as it is: the URL setter's rule for a backslash is for typed text.
    if (!Guard("URL")) return;
    url_ = address.Target();
    Changed("URL");
}

std::optional<Url> DownloadFile::Address() const {
    return AddressOf(secure_ ? "https" : "http", server_, port_, url_);
}

std::string DownloadFile::CertificateName() const {
    const std::optional<Url> address = Address();
    return address ? address->HostName() : std::string();
}

std::string DownloadFile::TunnelTarget() const {
    const std::optional<Url> address = Address();
    return address ? address->Host() + ":" + std::to_string(address->Port()) : std::string();
}

void DownloadFile::SetLocalFileName(const std::string& v) {
    if (!Guard("LocalFileName")) return;
    localFileName_ = v;
    Changed("LocalFileName");
}

void DownloadFile::SetWhileFileExist(std::int32_t v) {
    if (!Guard("WhileFileExist")) return;
    whileFileExist_ = v;
    if (!Changed("WhileFileExist")) return;
    downloadedSize_ = v == 1 ? std::max<std::int64_t>(LocalFileLength(localFileName_), 0) : 0;
    Changed("DownloadedSize");
}

void DownloadFile::SetBorderColor(std::uint32_t v) {
    shpBorder_.BorderColor = v;
    Changed("BorderColor");
}

void DownloadFile::SetBackColor(std::uint32_t v) {
    surface_.SetBackColor(v);
    Changed("BackColor");
}

void DownloadFile::SetHTTPVersion(std::int32_t v) {
    if (!Guard("HTTPVersion")) return;
    httpVersion_ = v;
    Changed("HTTPVersion");
}

void DownloadFile::SetForeColor(std::uint32_t v) {
    lblProgress_.ForeColor = v;
    Changed("ForeColor");
}

void DownloadFile::SetProgressColor(std::uint32_t v) {
    progressColor_ = v;
    Changed("ProgressColor");
}

void DownloadFile::SetUserName(const std::string& v) {
    userName_ = RequestText(v, "UserName");
    Changed("UserName");
}

void DownloadFile::SetUserPassword(const std::string& v) {
    userPassword_ = RequestText(v, "UserPassword");
    Changed("UserPassword");
}

void DownloadFile::SetSecure(bool v) {
    if (!Guard("Secure")) return;
    secure_ = v;
    Changed("Secure");
}

void DownloadFile::SetCaFile(const std::string& v) {
    if (!Guard("CaFile")) return;
    caFile_ = v;
}

void DownloadFile::SetUseHttpAuthorization(bool v) {
    useHttpAuthorization_ = v;
    Changed("UseHttpAuthorization");
}

// ---- the request ---------------------------------------------------------------------

std::string DownloadFile::GetHttpHead() const { return BuildRequest(); }

std::string DownloadFile::BuildRequest() const {
    if (TrimSpaces(server_).empty() || TrimSpaces(url_).empty()) return "";
    const std::optional<Url> address = Address();
    if (!address) return "";
    // A secure request goes through the proxy's tunnel, as if to the server.
    const bool viaProxy = !proxyServer_.empty() && !secure_;
    const std::string path = address->Target();
    // The port goes with the host wherever the host is named, unless it is the
    // scheme's default: a server that builds an address from the Host header
    // (a redirect, a page's links) must not send the client to another port.
    const std::string authority = address->Authority();

    std::string r;
    r.reserve(512);
    r += "GET " + (viaProxy ? address->Text() : path) + (httpVersion_ == 0 ? " HTTP/1.0" : " HTTP/1.1") + "\r\n";
    r += "Host: " + authority + "\r\n";
    r += "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n";
    r += "User-Agent: " + agent_ + "\r\n";
    if (!TrimSpaces(referer_).empty()) {
        r += "Referer: " + referer_ + "\r\n";
    } else {
        std::string dir = "/";
        const std::int32_t p = InStrLast(path, "/");
        if (p > 0) {
            dir = path.substr(0, static_cast<std::size_t>(p));
            if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        }
        r += "Referer: " + address->Scheme() + "://" + authority + dir + "\r\n";
    }
    if (!userName_.empty() || !userPassword_.empty())
        r += "Authorization: Basic " + Base64Encode(userName_ + ":" + userPassword_) + "\r\n";
    if ((!proxyUserName_.empty() && !secure_) || viaProxy) {
        r += "Proxy-Authorization: Basic " + Base64Encode(proxyUserName_ + ":" + proxyPassword_) + "\r\n";
        r += "Proxy-Connection: Keep-Alive\r\n";
    }
    if (downloadedSize_ > 0) r += "Range: bytes=" + std::to_string(downloadedSize_) + "-\r\n";
    if (noCache_) {
        r += "Pragma: no-cache\r\n";
        r += "Cache-Control: no-cache\r\n";
    }
    r += "Connection: close\r\n";
    r += "\r\n";
    return r;
}

std::string DownloadFile::BuildTunnelRequest() const {
    const std::string to = TunnelTarget();
    std::string r = "CONNECT " + to + " HTTP/1.1\r\nHost: " + to + "\r\nUser-Agent: " + agent_ + "\r\n";
    if (!proxyUserName_.empty() || !proxyPassword_.empty())
        r += "Proxy-Authorization: Basic " + Base64Encode(proxyUserName_ + ":" + proxyPassword_) + "\r\n";
    return r + "\r\n";
}

// ---- starting and cancelling -------------------------------------------------------

namespace {

// Calls a copy of the owner's handler: the owner may replace it from inside.
// Events are raised from timer and socket handlers, which go on after a failing
// step: an owner's handler that fails is one such step.
template <typename Event, typename... Args>
void Call(const Event& event, Args&&... args) {
    if (!event) return;
    auto handler = event;
    TryStep([&] { handler(std::forward<Args>(args)...); });
}

}  // namespace

template <typename Event, typename... Args>
bool DownloadFile::Fire(const Event& event, Args&&... args) {
    return life_.Fire([&] { Call(event, std::forward<Args>(args)...); });
}

template <typename Event, typename... Args>
bool DownloadFile::FireCurrent(const Event& event, Args&&... args) {
    return life_.FireCurrent([&] { Call(event, std::forward<Args>(args)...); });
}

void DownloadFile::StartDownload() {
    if (isBusy_) return;
    lastFailure_ = DownloadFailure::None;

    ReleaseSocket();
    try {
        NewSocket();
    } catch (const RaisedError&) {
        lastFailure_ = DownloadFailure::Connection;  // the socket service could not start
        throw;
    }

    if (!ResetDisplay()) return;
    const std::int64_t length = LocalFileLength(localFileName_);
    localFileHadLength_ = length != 0;
    downloadedSize_ = whileFileExist_ == 1 && length >= 0 ? length : 0;
    if (!Changed("DownloadedSize")) return;

    if (!Address() || (!proxyServer_.empty() && !AddressOf("http", proxyServer_, proxyPort_, "/"))) {
        lastFailure_ = DownloadFailure::NoHost;
        Raise(err::kDownloadNoHost, "DownloadFile.StartDownload", "Invalid host name.");
    }

    if (!SetBusy(true)) return;
    life_.Advance();

    headerPending_ = true;
    serverRefused_ = false;
    rangeRequested_ = false;
    chunked_ = false;
    decoder_ = ChunkedDecoder();
    endedHere_ = false;
    tunnel_ = secure_ && !proxyServer_.empty() ? Tunnel::Asking : Tunnel::None;
    tunnelReply_.clear();

    tmrDownload_.SetEnabled(true);
    idleSeconds_ = 0;
}

void DownloadFile::NewSocket() {
    auto made = std::make_unique<CSocket>();
    CSocket* sock = made.get();
    const Liveness::Token alive = life_.Watch();
    // Every socket event reaches the control only while this socket is still the
    // control's current one and the control exists.
    auto route = [this, alive, sock](auto&& body) {
        if (alive.Alive() && cDownload_.get() == sock) body();
    };
    sock->OnStateChange = [route, this](std::int32_t state, const std::string& text) {
        route([&] { Socket_StateChange(state, text); });
    };
    sock->OnConnect = [route, this] { route([&] { Socket_Connect(); }); };
    sock->OnSendProgress = [route, this](std::int32_t sent, std::int32_t waiting) {
        route([&] { Socket_SendProgress(sent, waiting); });
    };
    sock->OnSendComplete = [route, this] { route([&] { Socket_SendComplete(); }); };
    sock->OnDataArrival = [route, this](std::int32_t count) { route([&] { Socket_DataArrival(count); }); };
    sock->OnError = [route, this](std::int32_t number, std::string& description, std::int32_t, const std::string&,
                                  const std::string&, std::int32_t, bool&) {
        route([&] { Socket_Error(number, description); });
    };
    sock->OnClose = [route, this] { route([&] { Socket_Close(); }); };

    const std::optional<Url> to = proxyServer_.empty() ? Address() : AddressOf("http", proxyServer_, proxyPort_, "/");
    if (to) {
        sock->SetRemoteHost(to->HostName());
        sock->SetRemotePort(to->Port());
    }
    TryStep([&] { sock->SetTimeOut(timeOut_); });
    if (secure_ && proxyServer_.empty()) TryStep([&] { sock->Secure(CertificateName(), caFile_); });
    cDownload_ = std::move(made);
}

void DownloadFile::CancelDownload() {
    if (!isBusy_ || !cDownload_) return;
    // Before the connection attempt the socket holds nothing to close and the
    // attempt still starts.
    if (cDownload_->SocketHandle() == -1) return;
    // A cancel from inside OnError does not hide the failure that ended the transfer.
    if (lastFailure_ == DownloadFailure::None) lastFailure_ = DownloadFailure::Cancelled;
    CloseSocketOf();
}

void DownloadFile::DownloadTimer_Tick() {
    tmrDownload_.SetEnabled(false);
    if (!isBusy_ || !cDownload_) return;

    if (whileFileExist_ == 2 && LocalFileExists(localFileName_)) {
        const Liveness::Token alive = life_.Watch();
        ErrorPath(DownloadFailure::FileExists, err::kDownloadFileExists, "The local file has existed");
        if (!alive.Alive()) return;
        ReleaseSocket();
        Fire(OnFinish);
        return;
    }

    if (!Fire(OnBeforeConnect)) return;
    if (!isBusy_ || !cDownload_) return;
    endedHere_ = false;
    StartClocks();
    CSocket* sock = cDownload_.get();
    const Liveness::Token transfer = life_.Watch();
    try {
        sock->Connect();
    } catch (const RaisedError& e) {
        // Connect refused at once (no address, no port, no socket to be had): end
        // like any socket error.
        if (transfer.Current() && isBusy_ && cDownload_.get() == sock)
            ErrorPath(DownloadFailure::Connection, e.Number(), e.Description());
    }
}

void DownloadFile::TimeoutTimer_Tick() {
    ++idleSeconds_;
    if (idleSeconds_ > timeOut_) {
        tmrTimeout_.SetEnabled(false);
        if (isBusy_) ErrorPath(DownloadFailure::TimedOut, err::kDownloadTimeOut, "Time out.");
    }
}

void DownloadFile::StartClocks() {
    bytesThisStretch_ = 0;
    tmrDeadline_.SetInterval(deadlineMs_);
    tmrDeadline_.SetEnabled(deadlineMs_ > 0);
    tmrRate_.SetInterval(minRateMs_);
    tmrRate_.SetEnabled(minRateBytes_ > 0);
}

void DownloadFile::StopClocks() {
    tmrTimeout_.SetEnabled(false);
    tmrDeadline_.SetEnabled(false);
    tmrRate_.SetEnabled(false);
}

void DownloadFile::DeadlineTimer_Tick() {
    tmrDeadline_.SetEnabled(false);
    if (!isBusy_) return;
    ErrorPath(DownloadFailure::Overdue, err::kDownloadTimeOut,
              "Time out: the transfer took longer than " + std::to_string(deadlineMs_) + " ms");
}

void DownloadFile::RateTimer_Tick() {
    const std::int64_t came = bytesThisStretch_;
    bytesThisStretch_ = 0;
    if (!isBusy_ || came >= minRateBytes_) return;
    tmrRate_.SetEnabled(false);
    ErrorPath(DownloadFailure::TooSlow, err::kDownloadTimeOut,
              "Time out: " + std::to_string(came) + " bytes came in " + std::to_string(minRateMs_) +
                  " ms, fewer than the " + std::to_string(minRateBytes_) + " asked for");
}

// ---- socket events -------------------------------------------------------------------

void DownloadFile::Socket_StateChange(std::int32_t state, const std::string& text) {
    stateCode_ = state;
    stateStr_ = text;
    // A handshake, or a proxy's answer to CONNECT, that never comes ends like a
    // reply that never comes.
    if (state == CSocket::sckConnected && secure_ && isBusy_) {
        idleSeconds_ = 0;
        tmrTimeout_.SetEnabled(true);
    }
    if (!Changed("StateCode") || !Changed("StateStr")) return;
    Fire(OnStateChange, state, text);
}

void DownloadFile::Socket_Connect() {
    const Liveness::Token transfer = life_.Watch();
    if (tunnel_ == Tunnel::Asking && cDownload_ && !cDownload_->Secured()) {
        // Connected to the proxy: ask it for the tunnel; the owner hears of the
        // connection once the server on its far end has passed its checks.
        CSocket* sock = cDownload_.get();
        try {
            sock->SendData(Variant(BuildTunnelRequest()));
        } catch (const RaisedError& e) {
            if (transfer.Current() && isBusy_ && cDownload_.get() == sock)
                ErrorPath(DownloadFailure::Connection, e.Number(), e.Description());
        }
        return;
    }
    if (!Fire(OnConnect)) return;
    if (!isBusy_ || !cDownload_ || !transfer.Current()) return;  // cancelled from inside OnConnect
    const bool prepared = PrepareLocalFile();
    if (!transfer.Alive()) return;
    if (!prepared) {
        ErrorPath(DownloadFailure::LocalFile, err::kDownloadLocalFile, kLocalFileText);
        return;
    }
    CSocket* sock = cDownload_.get();
    try {
        // Composing fails only on credentials too long to encode; that ends the
        // transfer like a failed send rather than leaving it waiting for nothing.
        const std::string request = BuildRequest();
        rangeRequested_ = downloadedSize_ > 0;
        sock->SendData(Variant(request));
    } catch (const RaisedError& e) {
        if (transfer.Current() && isBusy_ && cDownload_.get() == sock)
            ErrorPath(DownloadFailure::Connection, e.Number(), e.Description());
    }
}

void DownloadFile::Socket_SendProgress(std::int32_t sent, std::int32_t remaining) {
    if (tunnel_ != Tunnel::Asking) Fire(OnSendProgress, sent, remaining);
}

void DownloadFile::Socket_SendComplete() {
    // The request to the proxy is the control's own business, not the owner's.
    if ((tunnel_ == Tunnel::Asking || FireCurrent(OnSendComplete)) && isBusy_ && cDownload_)
        tmrTimeout_.SetEnabled(true);
}

void DownloadFile::Socket_Error(std::int32_t number, const std::string& description) {
    if (!isBusy_) return;
    // The socket's own 10008 is a failed look-up; everything else it reports is
    // about the connection.
    ErrorPath(number == err::kSocketHostNotResolved ? DownloadFailure::Resolve : DownloadFailure::Connection, number,
              description);
}

void DownloadFile::Socket_DataArrival(std::int32_t count) {
    auto rearm = [this] {
        if (isBusy_ && cDownload_) tmrTimeout_.SetEnabled(true);
    };
    if (count < 0) {
        rearm();
        return;
    }
    idleSeconds_ = 0;
    tmrTimeout_.SetEnabled(false);
    if (!isBusy_ || !cDownload_) return;

    ByteArray block;
    block.data.swap(block_);  // reuse the buffer of the last block
    if (!TryStep([&] { cDownload_->GetData(block); })) {
        block_.swap(block.data);
        rearm();
        return;
    }
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count) + 1, block.data.size());
    const std::uint8_t* data = block.data.data();
    const Liveness::Token transfer = life_.Watch();
    bool goOn;
    if (tunnel_ == Tunnel::Asking)
        goOn = AcceptTunnelReply(data, n);
    else if (headerPending_)
        goOn = AcceptHeaderBlock(data, n);
    else
        goOn = WriteBody(data, n);
    if (!transfer.Alive()) return;
    block_.swap(block.data);
    if (goOn && transfer.Current()) rearm();
}

bool DownloadFile::AcceptTunnelReply(const std::uint8_t* data, std::size_t n) {
    tunnelReply_.append(reinterpret_cast<const char*>(data), std::min(n, kMaxReplyHeader));
    const std::size_t end = tunnelReply_.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (tunnelReply_.size() < kMaxReplyHeader) return true;
        ErrorPath(DownloadFailure::Connection, err::kDownloadProxyRefused, "The proxy's reply to CONNECT has no end");
        return false;
    }
    const std::int32_t code = ReplyStatusCode(tunnelReply_.substr(0, end + 4));
    // The proxy says nothing after its reply until the server does.
    if (code < 200 || code > 299 || end + 4 != tunnelReply_.size()) {
        ErrorPath(DownloadFailure::Connection, err::kDownloadProxyRefused,
                  "The proxy refused the tunnel to " + TunnelTarget() +
                      ",State Code:" + std::to_string(code));
        return false;
    }
    tunnel_ = Tunnel::Open;
    tmrTimeout_.SetEnabled(false);
    CSocket* sock = cDownload_.get();
    TryStep([&] { sock->Secure(CertificateName(), caFile_); });
    return true;
}

bool DownloadFile::AcceptHeaderBlock(const std::uint8_t* data, std::size_t n) {
    const std::size_t before = receiveHead_.size();
    const std::size_t take = std::min(n, kMaxReplyHeader - before);
    receiveHead_.append(reinterpret_cast<const char*>(data), take);
    const std::size_t end = receiveHead_.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
    if (end == std::string::npos) {
        if (!Changed("ReceiveHead")) return false;
        if (receiveHead_.size() >= kMaxReplyHeader) {
            RefuseReply(DownloadFailure::BadReply, "The reply header has no end within 65536 bytes");
            return false;
        }
        return true;
    }
    const std::size_t headerEnd = end + 4;
    receiveHead_.resize(headerEnd);
    headerPending_ = false;
    if (!Changed("ReceiveHead")) return false;
    const std::size_t headerInBlock = headerEnd - before;

    const std::string status = CheckResponseStatus(receiveHead_, downloadFileSize_);
    if (!Changed("DownloadFileSize")) return false;
    const std::int32_t code = ReplyStatusCode(receiveHead_);
    if (code == 416 && rangeRequested_ && WholeFileHeld(receiveHead_, downloadedSize_)) {
        // The server says the whole file is as long as what the local file
        // already holds: an earlier transfer got it all. It finishes as complete,
        // writing nothing.
        downloadFileSize_ = downloadedSize_;
        Changed("DownloadFileSize");
        UpdateProgress();
        CloseSocketOf();
        return false;
    }
    if (status != "success") {
        RefuseReply(code == 416                  ? DownloadFailure::NothingLeft
                    : code == 206 || code == 200 ? DownloadFailure::BadReply
                                                 : DownloadFailure::HttpStatus,
                    status);
        return false;
    }
    if (code == 206) {
        // A partial reply lands right after what the local file holds: one that
        // starts elsewhere, or that answers a request for the whole file, would
        // splice a wrong piece into the file and pass for a whole one.
        const std::string refusal = PartialReplyRefusal();
        if (!refusal.empty()) {
            RefuseReply(DownloadFailure::BadReply, refusal);
            return false;
        }
    }
    chunked_ = IsChunkedReply(receiveHead_);
    const bool sizeUnknown = chunked_ && code == 200;  // a chunked body announces no length
    if (sizeUnknown) {
        downloadFileSize_ = 0;
        if (!Changed("DownloadFileSize")) return false;
    }
    if (maxBytes_ > 0 && !sizeUnknown && downloadFileSize_ > maxBytes_) {
        ErrorPath(DownloadFailure::TooLarge, err::kDownloadTooLarge, TooLargeText(downloadFileSize_));
        return false;
    }
    const bool restart = code == 200 && rangeRequested_;
    // A reply with nothing to write ends here, before a restart could empty the file.
    if (!sizeUnknown && (restart ? 0 : downloadedSize_) >= downloadFileSize_) {
        ErrorPath(DownloadFailure::NothingLeft, err::kDownloadNothingLeft, kNoDataText);
        return false;
    }
    if (restart) {
        // The server sent the whole file instead of the rest: start the local
        // file again rather than append a second body to the first one's head.
        if (!file_.Truncate()) {
            ErrorPath(DownloadFailure::LocalFile, err::kDownloadLocalFile, kLocalFileText);
            return false;
        }
        downloadedSize_ = 0;
        if (!Changed("DownloadedSize")) return false;
    }
    if (n > headerInBlock) return WriteBody(data + headerInBlock, n - headerInBlock);
    return true;
}

bool DownloadFile::WriteBody(const std::uint8_t* data, std::size_t n) {
    bool framingOk = true;
    if (chunked_) {
        decoded_.clear();
        framingOk = decoder_.Feed(data, n, decoded_);
        data = decoded_.data();
        n = decoded_.size();
    }
    // Chunk extensions and trailer lines count toward the bound: framing without
    // end is as endless as a body.
    const std::int64_t framing = chunked_ ? static_cast<std::int64_t>(std::min<std::uint64_t>(
                                                decoder_.ExtraBytes(), static_cast<std::uint64_t>(INT64_MAX / 2)))
                                          : 0;
    if (maxBytes_ > 0 && downloadedSize_ + static_cast<std::int64_t>(n) + framing > maxBytes_) {
        // An endless or lying body: it ends here, and none of this block is written.
        ErrorPath(DownloadFailure::TooLarge, err::kDownloadTooLarge, TooLargeText(0));
        return false;
    }
    if (n > 0) {
        if (!file_.Write(data, n)) {
            // The bytes did not land (a full disk, a lost device): counting them
            // would let a damaged file pass for a whole one.
            ErrorPath(DownloadFailure::LocalFile, err::kDownloadLocalFile, kWriteText);
            return false;
        }
        downloadedSize_ += static_cast<std::int64_t>(n);
        bytesThisStretch_ += static_cast<std::int64_t>(n);
        if (!Changed("DownloadedSize")) return false;
    }
    bool sizeNowKnown = false;
    if (chunked_ && decoder_.Done() && downloadFileSize_ == 0) {
        downloadFileSize_ = downloadedSize_;
        if (!Changed("DownloadFileSize")) return false;
        sizeNowKnown = true;
    }
    if (n > 0 || sizeNowKnown) UpdateProgress();
    if (n > 0 && (!FireCurrent(OnDataDownloaded, static_cast<std::int32_t>(n)) || !isBusy_ || !cDownload_))
        return false;
    if (!framingOk) {
        RefuseReply(DownloadFailure::BadReply, "The host sent a malformed chunked body (" + decoder_.Error() + ")");
        return false;
    }
    if (chunked_ && decoder_.Done()) {
        // The last chunk has come: the body is complete, whatever the peer does now.
        CloseSocketOf();
        return false;
    }
    return true;
}

std::string DownloadFile::TooLargeText(std::int64_t announced) const {
    const std::string limit = std::to_string(maxBytes_) + " bytes allowed";
    if (announced > 0) return "The reply announces " + std::to_string(announced) + " bytes, more than the " + limit;
    return "The reply grew past the " + limit;
}

std::string DownloadFile::PartialReplyRefusal() const {
    std::int64_t first = 0, last = 0, total = 0;
    ParseContentRange(GetHeaderValue(receiveHead_, "Content-Range"), first, last, total);  // checked already
    const std::string range = "bytes " + std::to_string(first) + "-" + std::to_string(last);
    if (!rangeRequested_)
        return "The host sent a partial reply (" + range + ") to a request for the whole file";
    if (first != downloadedSize_)
        return "The host's partial reply starts at byte " + std::to_string(first) + ", not at byte " +
               std::to_string(downloadedSize_) + " where the local file ends";
    return "";
}

void DownloadFile::UpdateProgress() {
    if (downloadFileSize_ <= 0) return;
    const double ratio = static_cast<double>(downloadedSize_) / static_cast<double>(downloadFileSize_);
    const double width = std::min(ratio, 1.0) * static_cast<double>(Width());
    surface_.FillRect(0, 0, static_cast<std::int32_t>(width), Height());
    lblProgress_.Caption = std::to_string(std::lround(ratio * 100.0)) + "%";
}

void DownloadFile::Socket_Close() {
    StopClocks();
    if (isBusy_ && !endedHere_ && !serverRefused_) {
        // The peer closed. Anything short of the whole body is a failure, not a finish.
        const char* cut = nullptr;
        if (headerPending_)
            cut = "The connection was closed before the reply header arrived";
        else if (chunked_ ? !decoder_.Done() : downloadFileSize_ > 0 && downloadedSize_ < downloadFileSize_)
            cut = "The connection was closed before the whole file arrived";
        if (cut) {
            lastFailure_ = DownloadFailure::Truncated;
            if (!Fire(OnError, err::kDownloadTruncated, std::string(cut))) return;
        }
    }
    ReleaseSocket();
    CloseLocalFile();
    if (serverRefused_ && !neverDeleteTmpFile_ && !localFileHadLength_) plat::DeleteFileA(localFileName_);
    if (!SetBusy(false)) return;
    if (!Fire(OnClose)) return;
    Fire(OnFinish);
}

// ---- ending ---------------------------------------------------------------------------

void DownloadFile::RefuseReply(DownloadFailure kind, const std::string& description) {
    serverRefused_ = true;
    lastFailure_ = kind;
    if (FireCurrent(OnError, err::kDownloadRefused, description)) CloseSocketOf();
}

void DownloadFile::ErrorPath(DownloadFailure kind, std::int32_t number, const std::string& description) {
    lastFailure_ = kind;
    const Liveness::Token transfer = life_.Watch();
    StopClocks();
    // The owner may end this transfer and start the next from inside OnError.
    if (!FireCurrent(OnError, number, description)) return;
    CloseSocketOf();  // may run the close handling, OnClose and OnFinish included
    // The owner may have started the next transfer from inside OnClose or OnFinish:
    // what is left to do here belongs to this one only.
    if (!transfer.Current()) return;
    CloseLocalFile();
    if (isBusy_) SetBusy(false);
}

void DownloadFile::CloseSocketOf() {
    if (!cDownload_) return;
    endedHere_ = true;
    CSocket* sock = cDownload_.get();
    TryStep([&] { sock->CloseSocket(); });
}

void DownloadFile::CloseLocalFile() { file_.Close(); }

void DownloadFile::ReleaseSocket() { cDownload_.reset(); }

bool DownloadFile::PrepareLocalFile() {
    const bool exists = LocalFileExists(localFileName_);
    // Values other than 1 (resume) and 2 (refused earlier if the file existed)
    // replace the file, so that a new body never lands on an old one's tail.
    if (whileFileExist_ != 1 && whileFileExist_ != 2 && exists && !plat::DeleteFileA(localFileName_)) return false;
    // A file whose length cannot be had cannot be resumed; it is left as it is
    // rather than written over from its first byte.
    if (whileFileExist_ == 1 && exists && LocalFileLength(localFileName_) < 0) return false;
    if (!file_.Open(localFileName_)) return false;
    fileNumber_ = file_.Number();
    if (!Changed("FileNumber")) return false;
    if (whileFileExist_ == 1 && !file_.Seek(downloadedSize_)) return false;
    return true;
}

bool DownloadFile::SetBusy(bool busy) {
    isBusy_ = busy;
    return Changed("IsBusy");
}

}  // namespace nl
