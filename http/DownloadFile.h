// The download control: fetches one file over HTTP/1.0 or HTTP/1.1 GET into a local
// file, directly or through a proxy, with Basic authorization for server and proxy,
// byte-range resumption, an idle time-out, and a progress bar with a percent label
// drawn on its surface.
//
// A transfer: StartDownload -> 50 ms start delay -> connect -> open the local file
// and send the request -> collect the reply header, judge it -> write the body ->
// the socket closes -> OnClose, OnFinish. Everything after StartDownload happens in
// timer ticks and socket events on the user-interface thread.
//
// Events are raised synchronously. An owner may call any method, or destroy the
// control, from inside any event, and from inside the host's property-changed
// notification; the control then stops at once.
//
// The texts that go into the request (Server, ProxyServer, URL, Agent, Referer
// and the four credentials) never hold a CR, LF or NUL: their setters refuse one
// with error 380, and a saved value that holds one loads as the default.
//
// Byte counts are 64-bit inside; DownloadedSize and DownloadFileSize show them
// clamped to 32 bits, DownloadedBytes and AnnouncedBytes whole. An owner may bound
// a transfer with SetMaxBytes: a reply that announces more, or a body that grows
// past it, ends the transfer with 10009 before a byte beyond the bound is written;
// chunk extensions and trailer lines count toward the bound like body bytes.
//
// Besides the idle time-out, an owner may bound a transfer in time: SetDeadline
// for the whole of it, SetMinRate for the body bytes that must come in each
// stretch of time. A server that drips a byte now and then, or sends trailer
// lines without end, keeps the idle time-out from ever running out; these end
// it with 10008.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/ChunkedDecoder.h"
#include "http/HttpErrors.h"
#include "http/Url.h"
#include "controls/ControlHost.h"
#include "controls/DrawingSurface.h"
#include "controls/Label.h"
#include "support/Liveness.h"
#include "support/LocalFile.h"
#include "controls/PropertyBag.h"
#include "controls/Shape.h"
#include "controls/Timer.h"

namespace nl {

class CSocket;

// The kinds of failure a transfer can end with. The error numbers overlap (10008
// is both the idle time-out and a failed host-name look-up; a socket error may
// carry 10004 like a local-file failure), so an owner that acts on the kind of
// failure reads it here rather than from the number or its text.
enum class DownloadFailure {
    None,         // no failure: the file arrived whole, or the transfer still runs
    NoHost,       // 10002, raised by StartDownload: no server is set
    Resolve,      // 10008 from the socket: the host name could not be resolved
    Connection,   // another socket error: no socket to be had, refused, reset, a failed send
    HttpStatus,   // 10003: a reply status other than 200, 206 and 416
    BadReply,     // 10003: a reply header with no end, a malformed chunked body
    NothingLeft,  // 10005, or 10003 for a 416 reply: nothing after what the file holds
    LocalFile,    // 10004: the local file could not be deleted, opened, sought or written
    FileExists,   // 10006: the local file exists and WhileFileExist is 2
    Truncated,    // 10007: the connection closed before the whole reply arrived
    TimedOut,     // 10008 "Time out.": no data for longer than TimeOut
    Cancelled,    // CancelDownload closed the connection
    TooLarge,     // 10009: the reply announced, or its body grew, beyond MaxBytes
    Overdue,      // 10008: the transfer took longer than its Deadline
    TooSlow,      // 10008: fewer body bytes came in one stretch than MinRate asks
};

class DownloadFile {
public:
    static const char* const kDefaultAgent;
    static constexpr std::uint32_t kDefaultBorderColor = 0x00D0671A;
    static constexpr std::uint32_t kDefaultForeColor = 0x80000012;
    static constexpr std::uint32_t kDefaultProgressColor = 0x00FF0000;
    static constexpr std::uint32_t kDefaultFillColorRead = 0x80000018;

    DownloadFile();
    ~DownloadFile();
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    // ---- the host side ------------------------------------------------------
    ControlHost& Host() { return host_; }
    const DrawingSurface& Surface() const { return surface_; }
    DrawingSurface& Surface() { return surface_; }
    const Label& ProgressLabel() const { return lblProgress_; }
    const Shape& BorderShape() const { return shpBorder_; }
    // The control's size in twips; at least 1200 x 300.
    std::int32_t Width() const { return surface_.Width(); }
    std::int32_t Height() const { return surface_.Height(); }
    void Resize(std::int32_t width, std::int32_t height);
    // The control became visible.
    void Show();

    // Persisted settings, written and read in their fixed order.
    void WriteProperties(PropertyBag& bag) const;
    void ReadProperties(PropertyBag& bag);

    // ---- properties ---------------------------------------------------------
    bool NeverDeleteTmpFile() const { return neverDeleteTmpFile_; }
    void SetNeverDeleteTmpFile(bool v);
    std::int32_t TimeOut() const { return timeOut_; }
    void SetTimeOut(std::int32_t seconds);  // outside 10..2000 stores 30
    const std::string& Server() const { return server_; }
    void SetServer(const std::string& v);  // keeps the host part of an address
    // Ports take -32768..65535 (outside: overflow, error 6); 0..65535 can connect.
    std::int32_t Port() const { return port_; }
    void SetPort(std::int32_t v);
    const std::string& ProxyServer() const { return proxyServer_; }
    void SetProxyServer(const std::string& v);
    std::int32_t ProxyPort() const { return proxyPort_; }
    void SetProxyPort(std::int32_t v);
    const std::string& ProxyUserName() const { return proxyUserName_; }
    void SetProxyUserName(const std::string& v);
    const std::string& ProxyPassword() const { return proxyPassword_; }
    void SetProxyPassword(const std::string& v);
    // Both clamped to 0..2147483647; the whole counts are below.
    std::int32_t DownloadedSize() const { return Clamped(downloadedSize_); }
    void SetDownloadedSize(std::int32_t);  // read-only
    std::int32_t DownloadFileSize() const { return Clamped(downloadFileSize_); }
    void SetDownloadFileSize(std::int32_t);  // read-only
    // Bytes the local file holds for this transfer, resumed part included, and
    // the total size the reply announced (0 until one did).
    std::int64_t DownloadedBytes() const { return downloadedSize_; }
    std::int64_t AnnouncedBytes() const { return downloadFileSize_; }
    const std::string& Referer() const { return referer_; }
    void SetReferer(const std::string& v);
    const std::string& Agent() const { return agent_; }
    void SetAgent(const std::string& v);
    bool NoCache() const { return noCache_; }
    void SetNoCache(bool v);
    const std::string& URL() const { return url_; }
    void SetURL(const std::string& v);  // keeps the path of an address
    // Server (the host as written, "[::1]" too), Port and URL from an address,
    // and Secure from its scheme's transport.
    void SetAddress(const Url& address);
    // The address a transfer fetches: the scheme, Server read as host[:port] (a
    // port written there wins over Port) and URL; nothing when Server names no
    // usable host under the rules of http/Url.h. Its Authority() is the Host header.
    std::optional<Url> Address() const;
    std::int32_t StateCode() const { return stateCode_; }
    void SetStateCode(std::int32_t);  // read-only
    const std::string& StateStr() const { return stateStr_; }
    void SetStateStr(const std::string&);  // read-only
    const std::string& LocalFileName() const { return localFileName_; }
    void SetLocalFileName(const std::string& v);
    std::int32_t WhileFileExist() const { return whileFileExist_; }
    void SetWhileFileExist(std::int32_t v);  // 0 replace, 1 resume, 2 refuse
    const std::string& ReceiveHead() const { return receiveHead_; }
    void SetReceiveHead(const std::string&);  // read-only
    std::uint32_t BorderColor() const { return shpBorder_.BorderColor; }
    void SetBorderColor(std::uint32_t v);
    bool IsBusy() const { return isBusy_; }
    void SetIsBusy(bool);  // read-only
    std::uint32_t BackColor() const { return surface_.BackColor(); }
    void SetBackColor(std::uint32_t v);
    std::int32_t HTTPVersion() const { return httpVersion_; }
    void SetHTTPVersion(std::int32_t v);  // 0 HTTP/1.0, other HTTP/1.1
    std::uint32_t ForeColor() const { return lblProgress_.ForeColor; }
    void SetForeColor(std::uint32_t v);
    std::int32_t FileNumber() const { return fileNumber_; }
    void SetFileNumber(std::int32_t);  // read-only
    std::uint32_t ProgressColor() const { return progressColor_; }
    void SetProgressColor(std::uint32_t v);
    const std::string& UserName() const { return userName_; }
    void SetUserName(const std::string& v);
    const std::string& UserPassword() const { return userPassword_; }
    void SetUserPassword(const std::string& v);
    bool UseHttpAuthorization() const { return useHttpAuthorization_; }
    void SetUseHttpAuthorization(bool v);
    // The transfer runs over TLS, the server verified against the system's trust
    // store and CaFile's certificates; through a proxy, in a CONNECT tunnel.
    // Persisted after the others, so that settings saved without it read False.
    bool Secure() const { return secure_; }
    void SetSecure(bool v);
    // A PEM file of certificates trusted besides the system's (not persisted).
    const std::string& CaFile() const { return caFile_; }
    void SetCaFile(const std::string& v);
    // The most bytes the local file may hold, 0 (or less) for no bound. Not
    // persisted; it holds from the next block on, also during a transfer.
    std::int64_t MaxBytes() const { return maxBytes_; }
    void SetMaxBytes(std::int64_t bytes) { maxBytes_ = bytes > 0 ? bytes : 0; }
    // The longest a transfer may take, in milliseconds from its connection
    // attempt to its end; 0 (or less) for no limit. Not persisted; it holds
    // from the next start on.
    std::int32_t Deadline() const { return deadlineMs_; }
    void SetDeadline(std::int32_t ms) { deadlineMs_ = ms > 0 ? ms : 0; }
    // At least `bytes` body bytes in every `ms` milliseconds, counted from the
    // connection attempt; 0 bytes (or a window of 0) for no such rule. Not
    // persisted; it holds from the next start on.
    std::int64_t MinRateBytes() const { return minRateBytes_; }
    std::int32_t MinRateWindow() const { return minRateMs_; }
    void SetMinRate(std::int64_t bytes, std::int32_t ms) {
        minRateBytes_ = bytes > 0 && ms > 0 ? bytes : 0;
        minRateMs_ = bytes > 0 && ms > 0 ? ms : 0;
    }

    // ---- methods --------------------------------------------------------------
    void StartDownload();
    void CancelDownload();
    // The request text the current properties produce; "" when Server or URL is blank.
    std::string GetHttpHead() const;

    // ---- events, in declaration order ---------------------------------------
    std::function<void()> OnBeforeConnect;
    std::function<void()> OnConnect;
    std::function<void(std::int32_t sent, std::int32_t remaining)> OnSendProgress;
    std::function<void()> OnSendComplete;
    std::function<void(std::int32_t bytes)> OnDataDownloaded;
    std::function<void()> OnFinish;
    std::function<void(std::int32_t number, const std::string& description)> OnError;
    std::function<void()> OnClose;
    std::function<void(std::int32_t state, const std::string& text)> OnStateChange;

    // What ended the last transfer short of a whole file (error numbers are in
    // http/HttpErrors.h). Set before OnError is raised, so a handler can read it
    // there; StartDownload resets it to None.
    DownloadFailure LastFailure() const { return lastFailure_; }
    // After a LocalFile failure: the system's reason ("No space left on device").
    std::string LocalFileProblem() const { return file_.Problem(); }

private:
    // The busy rule, then the reset. False when a property-changed handler
    // destroyed the control: the caller returns at once.
    bool Guard(const char* property);
    bool ResetDisplay();
    // Notifies the host; false when its handler destroyed the control.
    bool Changed(const char* property) { return host_.PropertyChanged(property); }
    [[noreturn]] void ReadOnly(const char* property) const;
    static std::int32_t Clamped(std::int64_t n) {
        return n < 0 ? 0 : n > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n);
    }
    // The text for a reply beyond MaxBytes: one that announced `announced`
    // bytes, or (0) one whose body grew past it.
    std::string TooLargeText(std::int64_t announced) const;
    std::string BuildRequest() const;
    std::string BuildTunnelRequest() const;
    // The name the server's certificate must be for, and "host:port" as CONNECT
    // names the server: both from Address().
    std::string CertificateName() const;
    std::string TunnelTarget() const;
    bool AcceptTunnelReply(const std::uint8_t* data, std::size_t n);

    // Socket events.
    void Socket_StateChange(std::int32_t state, const std::string& text);
    void Socket_Connect();
    void Socket_SendProgress(std::int32_t sent, std::int32_t remaining);
    void Socket_SendComplete();
    void Socket_DataArrival(std::int32_t count);
    void Socket_Error(std::int32_t number, const std::string& description);
    void Socket_Close();
    void DownloadTimer_Tick();
    void TimeoutTimer_Tick();
    void DeadlineTimer_Tick();
    void RateTimer_Tick();
    // Starts the deadline and the rate's stretches (at the connection attempt),
    // and stops every clock of a transfer (at its end).
    void StartClocks();
    void StopClocks();

    // Steps of a transfer.
    bool PrepareLocalFile();
    // Both return false when the transfer ended (or the control went) meanwhile.
    bool AcceptHeaderBlock(const std::uint8_t* data, std::size_t n);
    bool WriteBody(const std::uint8_t* data, std::size_t n);
    void UpdateProgress();
    void ErrorPath(DownloadFailure kind, std::int32_t number, const std::string& description);
    void RefuseReply(DownloadFailure kind, const std::string& description);
    void CloseSocketOf();
    void CloseLocalFile();
    void ReleaseSocket();
    // A new socket for cDownload_, its events routed here, aimed at the server or proxy.
    void NewSocket();
    bool SetBusy(bool busy);  // false when the control went meanwhile
    // Why a 206 reply cannot be placed in the local file; "" when it can.
    std::string PartialReplyRefusal() const;

    // Raisers: Fire returns false when a handler destroyed the control,
    // FireCurrent also when it ended the transfer and started the next one. A
    // handler that fails is recorded in the last-error record and the control goes on.
    template <typename Event, typename... Args>
    bool Fire(const Event& event, Args&&... args);
    template <typename Event, typename... Args>
    bool FireCurrent(const Event& event, Args&&... args);

    ControlHost host_;
    DrawingSurface surface_;
    Label lblProgress_;
    Shape shpBorder_;
    Timer tmrDownload_;
    Timer tmrTimeout_;
    Timer tmrDeadline_;
    Timer tmrRate_;
    std::unique_ptr<CSocket> cDownload_;
    LocalFile file_;

    // Properties.
    bool neverDeleteTmpFile_ = true;
    std::int32_t timeOut_ = 30;
    std::string server_;
    std::int32_t port_ = 80;
    std::string proxyServer_;
    std::int32_t proxyPort_ = 1080;
    std::string proxyUserName_;
    std::string proxyPassword_;
    std::int64_t downloadedSize_ = 0;
    std::int64_t downloadFileSize_ = 0;
    std::string referer_;
    std::string agent_;
    bool noCache_ = true;
    std::string url_ = "/";
    std::int32_t stateCode_ = 0;
    std::string stateStr_ = "Ready";
    std::string localFileName_;
    std::int32_t whileFileExist_ = 0;
    std::string receiveHead_;
    bool isBusy_ = false;
    std::int32_t httpVersion_ = 0;
    std::int32_t fileNumber_ = 0;
    std::uint32_t progressColor_ = kDefaultProgressColor;
    std::string userName_;
    std::string userPassword_;
    bool useHttpAuthorization_ = false;
    std::int64_t maxBytes_ = 0;
    bool secure_ = false;
    std::string caFile_;
    std::int32_t deadlineMs_ = 0;
    std::int64_t minRateBytes_ = 0;
    std::int32_t minRateMs_ = 0;

    // Transfer state.
    bool headerPending_ = false;
    bool serverRefused_ = false;
    bool localFileHadLength_ = false;
    std::int32_t idleSeconds_ = 0;
    std::int64_t bytesThisStretch_ = 0;  // body bytes written since the rate's last tick
    bool rangeRequested_ = false;    // the request carried a Range line
    bool chunked_ = false;           // the body comes in chunks
    ChunkedDecoder decoder_;
    std::vector<std::uint8_t> decoded_;
    std::vector<std::uint8_t> block_;
    // A secure transfer through a proxy first asks it for a tunnel.
    enum class Tunnel { None, Asking, Open } tunnel_ = Tunnel::None;
    std::string tunnelReply_;
    bool endedHere_ = false;         // the control itself asked the socket to close
    DownloadFailure lastFailure_ = DownloadFailure::None;

    // Ends with the control. Its epoch advances with every transfer started: an
    // owner may end the transfer and start the next one from inside an event.
    Liveness life_;
};

}  // namespace nl
