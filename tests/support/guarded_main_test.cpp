// The outermost frame of the programs: whatever escapes becomes a message and the
// program's exit code for it.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "support/ErrorReport.h"
#include "support/GuardedMain.h"

TEST(GuardedMain, WhatEscapesBecomesAMessageAndAnExitCode) {
    EXPECT_EQ(nl::GuardedMain("tool", 9, [] { return 3; }), 3);
    const struct {
        void (*body)();
        const char* says;
    } cases[] = {
        {[] { nl::Raise(6, "modMain.Base64Encode", "Overflow"); }, "tool: Overflow (error 6 in modMain.Base64Encode)\n"},
        {[] { nl::Raise(5, "", "Invalid call"); }, "tool: Invalid call (error 5)\n"},
        {[] { throw std::bad_alloc(); }, "tool: out of memory\n"},
        {[] { throw std::runtime_error("boom"); }, "tool: unexpected failure: boom\n"},
        {[] { throw 42; }, "tool: unexpected failure\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const int code = nl::GuardedMain("tool", 9, [&] {
            c.body();
            return 0;
        });
        EXPECT_EQ(code, 9) << c.says;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.says);
    }
}
