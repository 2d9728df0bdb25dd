// The pieces every control shares: the property bag and its text form, host
// modes, the drawing surface with system colours, and timers on the message loop.
#include <gtest/gtest.h>

#include "platform/SysColor.h"
#include "platform/Window.h"
#include "controls/ControlHost.h"
#include "controls/DrawingSurface.h"
#include "support/ErrorReport.h"
#include "controls/PropertyBag.h"
#include "controls/Timer.h"
#include "tests/common/TestUtil.h"

using namespace nl;

TEST(PropertyBag, KeysDefaultsAndRepeatedKeys) {
    PropertyBag bag;
    bag.WriteProperty("Server", std::string("srv"), std::string(""));
    bag.WriteProperty("Port", std::int16_t{80}, std::int16_t{80});  // equal to the default: not stored
    bag.WriteProperty("ProgressColor", std::int32_t{1}, std::int32_t{0});
    bag.WriteProperty("ProgressColor", std::int32_t{2}, std::int32_t{0});
    ASSERT_EQ(bag.Entries().size(), 3u);
    EXPECT_EQ(bag.Entries()[0].first, "server");
    EXPECT_EQ(bag.ReadString("SERVER", ""), "srv");
    EXPECT_EQ(bag.ReadInt32("Port", 81), 81);
    EXPECT_EQ(bag.ReadInt32("progresscolor", 9), 1);
    EXPECT_EQ(bag.ReadInt32("ProgressColor", 9), 2);
    EXPECT_EQ(bag.ReadInt32("ProgressColor", 9), 9);
    bag.Rewind();
    EXPECT_EQ(bag.ReadInt32("ProgressColor", 9), 1);
}

TEST(PropertyBag, TextFormKeepsEveryByteAndRejectsGarbage) {
    testutil::TempDir dir;
    PropertyBag bag;
    const std::string odd("a\"b\\c\r\n\t\x01\xff=d", 12);
    bag.WriteProperty("Text", odd, std::string(""));
    bag.WriteProperty("Flag", false, true);
    bag.WriteProperty("Num", std::int32_t{-2147483647 - 1}, std::int32_t{0});
    ASSERT_TRUE(bag.SaveToFile(dir / "bag.txt"));
    PropertyBag back;
    ASSERT_TRUE(back.LoadFromFile(dir / "bag.txt"));
    EXPECT_EQ(back.ReadString("text", ""), odd);
    EXPECT_FALSE(back.ReadBool("flag", true));
    EXPECT_EQ(back.ReadInt32("num", 0), -2147483647 - 1);

    std::string why;
    for (const char* bad : {"novalue\n", "k=X:1\n", "k=I:12x\n", "k=I:99999999999\n", "k=S:\"open\n",
                            "k=B:yes\n", "k=S:\"a\\q\"\n"}) {
        PropertyBag b;
        EXPECT_FALSE(b.FromText(bad, &why)) << bad;
        EXPECT_FALSE(why.empty());
        EXPECT_TRUE(b.Entries().empty());
    }
    PropertyBag none;
    EXPECT_FALSE(none.LoadFromFile(dir / "missing", &why));
}

TEST(ControlHost, ReadOnlyRefusalAndNotifications) {
    ControlHost host;
    std::vector<std::string> seen;
    host.OnPropertyChanged = [&](const std::string& n) { seen.push_back(n); };
    host.PropertyChanged("A");
    EXPECT_EQ(seen, std::vector<std::string>{"A"});
    for (bool design : {false, true}) {
        host.SetDesignMode(design);
        try {
            host.RefuseReadOnly("X.Y");
            FAIL();
        } catch (const RaisedError& e) {
            EXPECT_EQ(e.Number(), design ? 387 : 382);
            EXPECT_EQ(e.Source(), "X.Y");
        }
    }
}

// A system colour: Windows' default scheme here; on Windows the user's own scheme
// (Wine's, under Wine), whatever it is.
std::uint32_t SystemColour(int index, std::uint32_t windowsDefault) {
    return testutil::kWindows ? plat::GetSysColor(index) : windowsDefault;
}

TEST(DrawingSurface, RectanglesClearAndSystemColours) {
    DrawingSurface s;
    s.SetSize(2000, 300);
    s.SetFillColor(0x8000000F);  // button face
    s.FillRect(0, 0, 500, 300);
    s.FillRect(0, 0, 1000, 300);  // the growing bar stays one rectangle
    ASSERT_EQ(s.Rects().size(), 1u);
    EXPECT_EQ(s.Rects()[0].x2, 1000);
    EXPECT_EQ(s.Rects()[0].color, 0x8000000Fu);
    EXPECT_EQ(s.Rects()[0].rgb, SystemColour(15, 0x00F0F0F0u));
    s.SetFillColor(0x000000FF);
    s.FillRect(0, 0, 10, 10);
    EXPECT_EQ(s.Rects().size(), 2u);
    s.Clear();
    EXPECT_TRUE(s.Rects().empty());
    EXPECT_EQ(DrawingSurface::ResolveColor(0x80000012), SystemColour(18, 0u));           // button text: black
    EXPECT_EQ(DrawingSurface::ResolveColor(0x80000018), SystemColour(24, 0x00E1FFFFu));  // tooltip background
    EXPECT_NE(SystemColour(15, 0x00F0F0F0u), SystemColour(18, 0u)) << "the button's face and its text";
    EXPECT_EQ(DrawingSurface::ResolveColor(0x00D0671A), 0x00D0671Au);
}

TEST(Timer, TicksOnTheLoopStopsAndSurvivesDeletionInItsHandler) {
    int ticks = 0;
    auto* t = new Timer;
    t->SetInterval(20);
    t->OnTimer = [&] {
        if (++ticks == 3) {
            delete t;
            t = nullptr;
        }
    };
    t->SetEnabled(true);
    auto start = plat::TickCount();
    plat::PumpUntil([&] { return t == nullptr; }, 3000);
    EXPECT_EQ(ticks, 3);
    EXPECT_GE(plat::TickCount() - start, 50u);
    plat::PumpUntil([] { return false; }, 80);
    EXPECT_EQ(ticks, 3);

    Timer oneShot;
    int shots = 0;
    oneShot.SetInterval(10);
    oneShot.OnTimer = [&] {
        ++shots;
        oneShot.SetEnabled(false);
    };
    oneShot.SetEnabled(true);
    plat::PumpUntil([] { return false; }, 100);
    EXPECT_EQ(shots, 1);
    EXPECT_FALSE(oneShot.Enabled());
}

TEST(ControlHost, NotificationSurvivesItsHandlerReplacingOrDestroyingTheHost) {
    auto* host = new ControlHost;
    std::vector<std::string> seen;
    host->OnPropertyChanged = [&](const std::string& n) {
        seen.push_back(n);
        host->OnPropertyChanged = [&](const std::string& m) {
            seen.push_back("then " + m);
            delete host;
            host = nullptr;
        };
    };
    EXPECT_TRUE(host->PropertyChanged("A"));
    EXPECT_FALSE(host->PropertyChanged("B"));
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"A", "then B"}));
}
