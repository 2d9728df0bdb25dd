// Runs one DownloadFile transfer on the message loop and records what the owner
// sees: every event in order, with the error's number and text. With the replies
// and aiming the transfers against a scripted server share.
#pragma once

#include <string>
#include <vector>

#include "http/DownloadFile.h"
#include "platform/Window.h"
#include "tests/common/ScriptedServer.h"

namespace testutil {

struct Transfer {
    nl::DownloadFile& d;
    std::vector<std::string> events;  // "BeforeConnect", "Connect", "SendComplete", "Data", "Error", "Close", "Finish"
    std::vector<std::int32_t> blocks;  // OnDataDownloaded counts
    std::int32_t errorNumber = 0;
    std::string errorText;
    bool finished = false;
    std::uint64_t sendCompleteAt = 0, errorAt = 0;

    explicit Transfer(nl::DownloadFile& control) : d(control) {
        d.OnBeforeConnect = [this] { events.push_back("BeforeConnect"); };
        d.OnConnect = [this] { events.push_back("Connect"); };
        d.OnSendProgress = [this](std::int32_t, std::int32_t) { Note("SendProgress"); };
        d.OnSendComplete = [this] {
            sendCompleteAt = plat::TickCount();
            events.push_back("SendComplete");
        };
        d.OnDataDownloaded = [this](std::int32_t n) {
            blocks.push_back(n);
            Note("Data");
        };
        d.OnError = [this](std::int32_t n, const std::string& t) {
            errorAt = plat::TickCount();
            errorNumber = n;
            errorText = t;
            events.push_back("Error");
        };
        d.OnClose = [this] { events.push_back("Close"); };
        d.OnFinish = [this] {
            finished = true;
            events.push_back("Finish");
        };
        d.OnStateChange = [this](std::int32_t, const std::string&) { Note("State"); };
    }

    // Runs of equal repeated events collapse into one entry; state changes are
    // left out of Events() (they come from the socket).
    void Note(const char* e) {
        if (events.empty() || events.back() != e) events.push_back(e);
    }
    std::vector<std::string> Events() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e != "State" && (out.empty() || out.back() != e)) out.push_back(e);
        return out;
    }
    bool Done() const { return finished || (errorNumber != 0 && !d.IsBusy()); }

    // Starts the transfer and runs the loop until it is over; false on a time-out.
    bool Run(int timeoutMs = 15000) {
        d.StartDownload();
        return plat::PumpUntil([this] { return Done(); }, timeoutMs);
    }
};

inline std::vector<std::string> Seq(std::initializer_list<const char*> l) { return {l.begin(), l.end()}; }

// The events of a transfer that succeeds.
inline const std::vector<std::string> kSuccess =
    Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Data", "Close", "Finish"});

// A complete 200 reply with the body's length.
inline std::string Ok(const std::string& body, const std::string& extra = "") {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

// Points the control at the scripted server, with the path and the local file.
inline void Aim(nl::DownloadFile& d, const ScriptedServer& s, const std::string& file,
                const std::string& path = "/f.bin") {
    d.SetServer("127.0.0.1");
    d.SetPort(s.Port());
    d.SetURL(path);
    d.SetLocalFileName(file);
}

}  // namespace testutil
