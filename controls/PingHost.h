// A control that sends one ICMP echo request ("ping") to a host and reports the
// outcome as a state code, a state text and two events. It draws nothing and
// keeps a fixed size of 26 x 26 pixels.
//
// Ping marks the control busy and raises StateChange(3, "Ready to connect...");
// about 100 ms later a timer tick resolves the host, sends the echo and waits for
// its answer (blocking the thread: the look-up, then at most 2000 ms), sets the
// state, raises StateChange with it and then PingFinish.
//
// State codes: 3 waiting for the tick; 1 answered (the text is the round-trip
// time: " 15 ms"); 2 no answer, or the name did not resolve ("Unknown host");
// -1 no ICMP handle to be had ("Unable to Create File Handle."); any other code is
// the IP status of an ICMP error about the request ("Timeout or unknown error").
// Reading StateStr sets the code back to 0.
//
// An owner may call any member, or destroy the control, from inside an event or a
// property-change notification.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "controls/ControlHost.h"
#include "controls/PropertyBag.h"
#include "controls/Timer.h"
#include "support/Liveness.h"

namespace nl {

class PingHost {
public:
    static constexpr std::int32_t kSizePixels = 26;
    static constexpr std::int32_t kTickMs = 100;
    static constexpr std::uint32_t kEchoWaitMs = 2000;
    // Longer names are not looked up: they count as unknown hosts.
    static constexpr std::size_t kMaxHostName = 64;
    static const char* const kDefaultHostName;
    static const char* const kReadyText;

    PingHost();
    ~PingHost();
    PingHost(const PingHost&) = delete;
    PingHost& operator=(const PingHost&) = delete;

    // ---- the host side ------------------------------------------------------
    ControlHost& Host() { return host_; }
    // The size in twips; always 26 pixels each way.
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    void Resize(std::int32_t width, std::int32_t height);

    void WriteProperties(PropertyBag& bag) const;
    void ReadProperties(PropertyBag& bag);

    // ---- the interface ------------------------------------------------------
    void Ping();
    std::int32_t StateCode() const { return stateCode_; }
    void SetStateCode(std::int32_t);  // read-only: 387 / 382
    bool IsBusy() const { return isBusy_; }
    void SetIsBusy(bool);  // read-only
    const std::string& Hostname() const { return hostname_; }
    // Keeps the host part of an address ("http://host/dir?x" -> "host"); a port stays.
    void SetHostname(const std::string& newHostName);
    // Returns the state text and sets StateCode to 0.
    std::string StateStr();
    void SetStateStr(const std::string&);  // read-only

    // Whether the last ping's host name resolved to an address: a state 2 then
    // means the address gave no answer, not that the host is unknown.
    bool HostResolved() const { return hostResolved_; }

    // The host part of an address, as SetHostname keeps it.
    static std::string ExtractHost(std::string text);

    // ---- events -------------------------------------------------------------
    std::function<void(const std::string& stateStr)> PingFinish;
    std::function<void(std::int32_t stateCode, const std::string& stateStr)> StateChange;

private:
    void tmrPing_Timer();
    // Returns false when the control was destroyed meanwhile.
    bool SendEcho();
    bool Changed(const char* key) { return host_.PropertyChanged(key); }

    ControlHost host_;
    Timer tmrPing_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t stateCode_ = 0;
    bool isBusy_ = false;
    std::string hostname_;
    std::string stateStr_;
    bool hostResolved_ = false;
    Liveness life_;
};

}  // namespace nl
