#include "tests/common/Events.h"

#include <gtest/gtest.h>

#include "platform/Window.h"

namespace testutil {

bool Pump(const std::function<bool()>& done, int timeoutMs) { return plat::PumpUntil(done, timeoutMs); }

void Settle(int ms) { plat::PumpUntil([] { return false; }, ms); }

nl::ErrorReport Raised(const std::function<void()>& call, const std::string& what) {
    try {
        call();
    } catch (const nl::RaisedError& e) {
        return e.Report();
    }
    ADD_FAILURE() << (what.empty() ? std::string("the call") : what) << " raised nothing";
    return {};
}

void ExpectRaised(const std::function<void()>& call, std::int32_t number, const std::string& source,
                  const std::string& description, const std::string& what) {
    nl::ErrorReport e = Raised(call, what);
    EXPECT_EQ(e.number, number) << what;
    if (!source.empty()) {
        EXPECT_EQ(e.source, source) << what;
    }
    if (!description.empty()) {
        EXPECT_EQ(e.description, description) << what;
    }
}

}  // namespace testutil
