#include "controls/PingHost.h"

#include <cstring>
#include <utility>

#include "platform/Icmp.h"
#include "platform/Winsock.h"
#include "controls/ControlsErrors.h"
#include "controls/DrawingSurface.h"
#include "support/AsciiText.h"
#include "support/ErrorReport.h"

namespace nl {

const char* const PingHost::kDefaultHostName = "127.0.0.1";
const char* const PingHost::kReadyText = "Ready";

namespace {

constexpr std::int32_t kSizeTwips = PingHost::kSizePixels * DrawingSurface::kTwipsPerPixel;
constexpr char kRequestData[] = "Novalink echo request, 32 bytes.";
static_assert(sizeof kRequestData - 1 == 32);
constexpr std::uint32_t kReplyBufferSize = 163;

constexpr std::int32_t kStateAnswered = 1;
constexpr std::int32_t kStateUnknownHost = 2;
constexpr std::int32_t kStateWaiting = 3;
constexpr std::int32_t kStateNoHandle = -1;

// Calls a copy of the owner's handler (it may replace itself). Events go out from
// a timer tick, which goes on after a failing step: a handler that fails is one.
template <typename Event, typename... Args>
void Call(const Event& event, Args&&... args) {
    if (!event) return;
    auto handler = event;
    TryStep([&] { handler(std::forward<Args>(args)...); });
}

// Windows Sockets for the length of one ping; the platform counts start-ups.
class WinsockSession {
public:
    WinsockSession() {
        plat::WSADATA data;
        started_ = plat::WSAStartup(0x0101, &data) == 0;
    }
    ~WinsockSession() {
        if (started_) plat::WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

private:
    bool started_ = false;
};

class IcmpHandle {
public:
    IcmpHandle() : h_(plat::IcmpCreateFile()) {}
    ~IcmpHandle() {
        if (IsOpen()) plat::IcmpCloseHandle(h_);
    }
    IcmpHandle(const IcmpHandle&) = delete;
    IcmpHandle& operator=(const IcmpHandle&) = delete;
    bool IsOpen() const { return h_ != plat::PL_INVALID_HANDLE_VALUE; }
    plat::HANDLE Get() const { return h_; }

private:
    plat::HANDLE h_;
};

// The first IPv4 address of the name, or 0.0.0.0 when it does not resolve. A name
// longer than the look-up takes is not cut to fit (that would ping another host).
plat::IPAddr Resolve(const std::string& name) {
    if (name.size() > PingHost::kMaxHostName || name.find('\0') != std::string::npos) return 0;
    const plat::HOSTENT* he = plat::gethostbyname(name.c_str());
    if (!he || he->h_length != 4 || !he->h_addr_list || !he->h_addr_list[0]) return 0;
    plat::IPAddr addr;
    std::memcpy(&addr, he->h_addr_list[0], 4);
    return addr;
}

}  // namespace

PingHost::PingHost() : hostname_(kDefaultHostName), stateStr_(kReadyText) {
    tmrPing_.SetInterval(kTickMs);
    tmrPing_.OnTimer = [this] { tmrPing_Timer(); };
    Resize(kSizeTwips, kSizeTwips);
}

PingHost::~PingHost() {
    // Handlers still on the stack see the control gone and stop.
    life_.End();
}

void PingHost::Resize(std::int32_t, std::int32_t) {
    width_ = kSizeTwips;
    height_ = kSizeTwips;
}

void PingHost::WriteProperties(PropertyBag& bag) const {
    bag.WriteProperty("StateCode", stateCode_, std::int32_t{0});
    bag.WriteProperty("IsBusy", isBusy_, false);
    bag.WriteProperty("HostName", hostname_, std::string(kDefaultHostName));
    bag.WriteProperty("StateStr", stateStr_, std::string(kReadyText));
}

void PingHost::ReadProperties(PropertyBag& bag) {
    stateCode_ = bag.ReadInt32("StateCode", 0);
    // A saved "busy" belongs to a ping of the instance that was saved; this one has
    // none running, and would otherwise refuse every Ping for good.
    bag.ReadBool("IsBusy", false);
    isBusy_ = false;
    hostname_ = bag.ReadString("HostName", kDefaultHostName);
    stateStr_ = bag.ReadString("StateStr", kReadyText);
}

void PingHost::SetStateCode(std::int32_t) { host_.RefuseReadOnly("PingHost.StateCode"); }
void PingHost::SetIsBusy(bool) { host_.RefuseReadOnly("PingHost.IsBusy"); }
void PingHost::SetStateStr(const std::string&) { host_.RefuseReadOnly("PingHost.StateStr"); }

std::string PingHost::ExtractHost(std::string text) {
    std::size_t at = text.find("://");
    if (at != std::string::npos) text.erase(0, at + 3);
    at = text.find('/');
    if (at != std::string::npos) text.erase(at);
    at = text.find('?');
    if (at != std::string::npos) text.erase(at);
    return text;
}

void PingHost::SetHostname(const std::string& newHostName) {
    hostname_ = ExtractHost(TrimSpaces(newHostName));
    Changed("HostName");
}

std::string PingHost::StateStr() {
    std::string text = stateStr_;
    stateCode_ = 0;
    Changed("StateCode");
    return text;
}

void PingHost::Ping() {
    if (isBusy_) {
        if (host_.DesignMode()) Raise(err::kPingBusy, "PingHost.Ping", "Busy now!");
        return;
    }
    isBusy_ = true;
    stateCode_ = kStateWaiting;
    stateStr_ = "Ready to connect...";
    if (!Changed("IsBusy") || !Changed("StateCode") || !Changed("StateStr")) return;
    const std::string text = stateStr_;
    if (!life_.Fire([&] { Call(StateChange, kStateWaiting, text); })) return;
    tmrPing_.SetEnabled(true);
}

void PingHost::tmrPing_Timer() {
    tmrPing_.SetEnabled(false);
    if (!SendEcho()) return;
    isBusy_ = false;
    if (!Changed("IsBusy")) return;
    const std::string text = stateStr_;
    life_.Fire([&] { Call(PingFinish, text); });
}

bool PingHost::SendEcho() {
    // Both end after the events below, whatever the handlers did to the control.
    WinsockSession winsock;
    const plat::IPAddr destination = Resolve(hostname_);
    hostResolved_ = destination != 0;
    IcmpHandle icmp;
    if (!icmp.IsOpen()) {
        stateStr_ = "Unable to Create File Handle.";
        stateCode_ = kStateNoHandle;
    } else {
        char data[sizeof kRequestData];
        std::memcpy(data, kRequestData, sizeof data);
        plat::IP_OPTION_INFORMATION options{};
        options.Ttl = 255;
        alignas(plat::ICMP_ECHO_REPLY) unsigned char reply[kReplyBufferSize] = {};
        const plat::DWORD replies = plat::IcmpSendEcho(icmp.Get(), destination, data, 32, &options, reply,
                                                      kReplyBufferSize, kEchoWaitMs);
        plat::ICMP_ECHO_REPLY echo;
        std::memcpy(&echo, reply, sizeof echo);
        if (replies == 0) {
            stateStr_ = "Unknown host";
            stateCode_ = kStateUnknownHost;
        } else if (echo.Status == plat::PL_IP_SUCCESS) {
            stateStr_ = " " + std::to_string(echo.RoundTripTime) + " ms";
            stateCode_ = kStateAnswered;
        } else {
            stateStr_ = "Timeout or unknown error";
            stateCode_ = static_cast<std::int32_t>(echo.Status);
        }
    }
    if (!Changed("StateStr") || !Changed("StateCode")) return false;
    const std::int32_t code = stateCode_;
    const std::string text = stateStr_;
    return life_.Fire([&] { Call(StateChange, code, text); });
}

}  // namespace nl
