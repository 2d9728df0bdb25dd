// The ordinary conversion of a text to a whole number.
#include <gtest/gtest.h>

#include "support/ErrorReport.h"
#include "support/TextToNumber.h"

TEST(TextToLong, NumbersRoundingAndFailures) {
    const struct {
        const char* text;
        std::int32_t value;
        std::int32_t error;  // 0: converts to value
    } cases[] = {
        {"42", 42, 0},          {"  -7\t", -7, 0},      {"+3", 3, 0},          {"5.5", 6, 0},
        {"4.5", 4, 0},          {"-2.5", -2, 0},        {".5", 0, 0},          {"1e3", 1000, 0},
        {"&H1F", 31, 0},        {"&hFFFFFFFF", -1, 0},  {"&O17", 15, 0},       {"True", -1, 0},
        {"false", 0, 0},        {"2147483647", 2147483647, 0},                 {"-2147483648", INT32_MIN, 0},
        {"2147483648", 0, 6},   {"1e300", 0, 6},        {"1e999", 0, 6},       {"&H100000000", 0, 6},
        {"", 0, 13},            {"   ", 0, 13},         {"abc", 0, 13},        {"12abc", 0, 13},
        {"1 2", 0, 13},         {"-", 0, 13},           {".", 0, 13},          {"1e", 0, 13},
        {"&H", 0, 13},          {"&HG", 0, 13},         {"&O8", 0, 13},        {"0x10", 0, 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            EXPECT_EQ(nl::TextToLong(c.text, "page.field"), c.value);
            EXPECT_EQ(c.error, 0);
        } catch (const nl::RaisedError& e) {
            EXPECT_EQ(e.Number(), c.error);
            EXPECT_EQ(e.Source(), "page.field");
            EXPECT_EQ(e.Description(), c.error == 6 ? "Overflow" : "Type mismatch");
        }
    }
}
