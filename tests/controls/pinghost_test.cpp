// The ping control: its properties and their persistence, the read-only rules,
// the host-name extraction, the busy rule, and real pings on this machine's
// loopback and to names that do not resolve, with the order of its events.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "platform/Icmp.h"
#include "platform/Window.h"
#include "controls/PingHost.h"
#include "controls/PropertyBag.h"
#include "support/ErrorReport.h"

using namespace nl;

namespace {

// Why echoes cannot be sent here, or "" when they can.
std::string NoIcmpReason() {
    const plat::HANDLE h = plat::IcmpCreateFile();
    if (h == plat::PL_INVALID_HANDLE_VALUE)
        return "this user may not send ICMP echoes (needs ping_group_range or CAP_NET_RAW)";
    plat::IcmpCloseHandle(h);
    return "";
}

// A control whose notifications and events are written down in order.
struct Recorded {
    std::unique_ptr<PingHost> ping = std::make_unique<PingHost>();
    std::vector<std::string> log;
    int finished = 0;

    Recorded() {
        ping->Host().OnPropertyChanged = [this](const std::string& n) { log.push_back("changed " + n); };
        ping->StateChange = [this](std::int32_t code, const std::string& text) {
            log.push_back("StateChange " + std::to_string(code) + " [" + text + "]");
        };
        ping->PingFinish = [this](const std::string& text) {
            log.push_back("PingFinish [" + text + "]");
            ++finished;
        };
    }
    // Pings the host and waits for PingFinish.
    void PingAndWait(const std::string& host) {
        ping->SetHostname(host);
        log.clear();
        const int before = finished;
        ping->Ping();
        ASSERT_TRUE(plat::PumpUntil([&] { return finished > before; }, 10000)) << host;
    }
};

}  // namespace

TEST(PingHost, HostnameKeepsTheHostPartOfAnAddress) {
    const struct {
        const char* given;
        const char* stored;
    } cases[] = {
        {"  scheme://myhost/dir/page?x=1 ", "myhost"},
        {"192.168.0.1", "192.168.0.1"},
        {"http://h?q=a/b", "h"},  // the path goes first, then the query
        {"ftp://a://b/c", "a:"},  // only the first "://" counts
        {"host:8080/x", "host:8080"},
        {"\thost ", "\thost"},  // only spaces are blanks
        {"   ", ""},
    };
    Recorded r;
    for (const auto& c : cases) {
        r.log.clear();
        r.ping->SetHostname(c.given);
        EXPECT_EQ(r.ping->Hostname(), c.stored) << c.given;
        EXPECT_EQ(r.log, std::vector<std::string>{"changed HostName"});
    }
}

TEST(PingHost, ReadOnlyPropertiesRefuseEverySetAndKeepTheirValues) {
    PingHost ping;
    for (bool design : {false, true}) {
        ping.Host().SetDesignMode(design);
        const std::vector<std::pair<const char*, std::function<void()>>> sets = {
            {"PingHost.StateCode", [&] { ping.SetStateCode(5); }},
            {"PingHost.IsBusy", [&] { ping.SetIsBusy(true); }},
            {"PingHost.StateStr", [&] { ping.SetStateStr("x"); }},
        };
        for (const auto& [source, set] : sets) {
            try {
                set();
                ADD_FAILURE() << source << " was set";
            } catch (const RaisedError& e) {
                EXPECT_EQ(e.Number(), design ? 387 : 382) << source;
                EXPECT_EQ(e.Source(), source);
            }
        }
        EXPECT_EQ(ping.StateCode(), 0);
        EXPECT_FALSE(ping.IsBusy());
        EXPECT_EQ(ping.StateStr(), "Ready");
    }
}

TEST(PingHost, PersistenceSizeAndAStaleBusyFlag) {
    PingHost fresh;
    PropertyBag bag;
    fresh.WriteProperties(bag);
    EXPECT_TRUE(bag.Entries().empty());  // every value is its default

    // Keys in their order; loading takes saved values past the setters.
    ASSERT_TRUE(bag.FromText("statecode=I:11003\nisbusy=B:True\nhostname=S:\"http://h/x\"\nstatestr=S:\"s\"\n"));
    PingHost loaded;
    loaded.ReadProperties(bag);
    EXPECT_EQ(loaded.StateCode(), 11003);
    EXPECT_EQ(loaded.Hostname(), "http://h/x");
    // A saved busy flag has no ping behind it in the new instance: it starts idle.
    EXPECT_FALSE(loaded.IsBusy());
    PropertyBag out;
    loaded.WriteProperties(out);
    ASSERT_EQ(out.Entries().size(), 3u);
    EXPECT_EQ(out.Entries()[0].first, "statecode");
    EXPECT_EQ(out.Entries()[1].first, "hostname");
    EXPECT_EQ(out.Entries()[2].first, "statestr");
    EXPECT_EQ(loaded.StateStr(), "s");

    for (auto [w, h] : {std::pair{1000, 50}, std::pair{0, 0}, std::pair{390, 390}}) {
        loaded.Resize(w, h);
        EXPECT_EQ(loaded.Width(), 390);  // 26 pixels of 15 twips
        EXPECT_EQ(loaded.Height(), 390);
    }
}

TEST(PingHost, LoopbackAnswersWithEventsInOrderAndReadingTheTextResetsTheCode) {
    const std::string why = NoIcmpReason();
    if (!why.empty()) GTEST_SKIP() << why;
    Recorded r;
    r.ping->SetHostname("127.0.0.1");
    r.log.clear();
    const auto start = plat::TickCount();
    r.ping->Ping();
    // Waiting for the tick: busy, code 3.
    EXPECT_TRUE(r.ping->IsBusy());
    EXPECT_EQ(r.ping->StateCode(), 3);
    r.ping->Ping();  // busy at run time: ignored, no second ping
    ASSERT_TRUE(plat::PumpUntil([&] { return r.finished == 1; }, 10000));
    EXPECT_GE(plat::TickCount() - start, 90u);  // the echo waits for the 100 ms tick
    plat::PumpUntil([] { return false; }, 250);
    EXPECT_EQ(r.finished, 1);

    ASSERT_EQ(r.log.size(), 9u);
    const std::string text = r.log[8].substr(12, r.log[8].size() - 13);
    EXPECT_TRUE(std::regex_match(text, std::regex(" [0-9]+ ms"))) << text;
    const std::vector<std::string> expected = {
        "changed IsBusy", "changed StateCode", "changed StateStr", "StateChange 3 [Ready to connect...]",
        "changed StateStr", "changed StateCode", "StateChange 1 [" + text + "]", "changed IsBusy",
        "PingFinish [" + text + "]"};
    EXPECT_EQ(r.log, expected);
    EXPECT_FALSE(r.ping->IsBusy());
    EXPECT_EQ(r.ping->StateCode(), 1);

    r.log.clear();
    EXPECT_EQ(r.ping->StateStr(), text);
    EXPECT_EQ(r.ping->StateCode(), 0);
    EXPECT_EQ(r.log, std::vector<std::string>{"changed StateCode"});
    EXPECT_EQ(r.ping->StateStr(), text);  // the text stays
}

TEST(PingHost, NamesThatDoNotResolveAreUnknownHosts) {
    const std::string why = NoIcmpReason();
    if (!why.empty()) GTEST_SKIP() << why;
    const std::string longName = std::string(61, 'a') + ".invalid";  // 69 characters: not cut, not looked up
    const std::string digits = std::string(64, '1');                  // 64 characters: no such host
    Recorded r;
    for (const std::string& host : {std::string("name.invalid"), std::string("127.0.0.1:80"), longName, digits,
                                    std::string("")}) {
        r.PingAndWait(host);
        EXPECT_EQ(r.ping->StateCode(), 2) << host;
        EXPECT_EQ(r.log.back(), "PingFinish [Unknown host]") << host;
        EXPECT_EQ(r.ping->StateStr(), "Unknown host");
    }
    // The control stays usable after failures.
    r.PingAndWait("http://127.0.0.1/" + longName);
    EXPECT_EQ(r.ping->StateCode(), 1);
}

TEST(PingHost, BusyInDesignModeRaisesAndOwnersMayDestroyTheControlInAnyEvent) {
    const std::string why = NoIcmpReason();
    if (!why.empty()) GTEST_SKIP() << why;
    {
        PingHost ping;
        ping.Host().SetDesignMode(true);
        ping.Ping();
        try {
            ping.Ping();
            ADD_FAILURE() << "no error while busy";
        } catch (const RaisedError& e) {
            EXPECT_EQ(e.Number(), 1001);
            EXPECT_EQ(e.Source(), "PingHost.Ping");
            EXPECT_EQ(e.Description(), "Busy now!");
        }
        plat::PumpUntil([&] { return !ping.IsBusy(); }, 10000);
        EXPECT_EQ(ping.StateCode(), 1);
    }
    // Destroyed in: the first StateChange, the second, a property notification of
    // the tick, and PingFinish. Nothing is raised after the control has gone.
    for (int at = 0; at < 4; ++at) {
        auto ping = std::make_unique<PingHost>();
        int events = 0;
        bool gone = false;
        auto destroy = [&] {
            ping.reset();
            gone = true;
        };
        ping->StateChange = [&, at](std::int32_t code, const std::string&) {
            ++events;
            if ((at == 0 && code == 3) || (at == 1 && code == 1)) destroy();
        };
        ping->Host().OnPropertyChanged = [&, at](const std::string& n) {
            if (at == 2 && n == "StateStr" && ping->StateCode() == 1) destroy();
        };
        ping->PingFinish = [&](const std::string&) {
            ++events;
            destroy();
        };
        ping->Ping();
        plat::PumpUntil([&] { return gone; }, 10000);
        plat::PumpUntil([] { return false; }, 200);
        EXPECT_TRUE(gone) << at;
        EXPECT_EQ(events, (std::vector<int>{1, 2, 1, 3}[at])) << at;
    }
}
