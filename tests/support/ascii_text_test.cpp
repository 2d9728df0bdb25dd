// The shared case and trim helpers: only ASCII letters change case (the bytes
// around them and every byte above 127 stay), and only spaces are trimmed.
#include <gtest/gtest.h>

#include "support/AsciiText.h"

using namespace nl;

TEST(AsciiText, CaseChangesOnlyAsciiLetters) {
    // '@' '[' '`' '{' border the letter ranges; "\xC4\xE4" is an ANSI pair and
    // "\xC3\x84" a UTF-8 letter: all of them stay as they are.
    const std::string mixed = "@AZ[`az{ \xC4\xE4 \xC3\x84 0-9";
    EXPECT_EQ(AsciiLower(mixed), "@az[`az{ \xC4\xE4 \xC3\x84 0-9");
    EXPECT_EQ(AsciiUpper(mixed), "@AZ[`AZ{ \xC4\xE4 \xC3\x84 0-9");
    EXPECT_EQ(AsciiUpper(""), "");
}

TEST(AsciiText, EqualsNoCase) {
    const struct {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"Content-Length", "content-LENGTH", true},
        {"", "", true},
        {"abc", "abcd", false},
        {"@", "`", false},             // 0x40 and 0x60 differ by the case bit but are no letters
        {"\xC4", "\xE4", false},       // nor are ANSI letters
        {"HTTP/1.", "http/1.", true},
    };
    for (const auto& c : cases) EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

TEST(AsciiText, TrimSpacesTakesOnlySpaces) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"  a b  ", "a b"}, {"", ""}, {"    ", ""}, {"\tx\t", "\tx\t"}, {" x\r\n", "x\r\n"}, {"x", "x"},
    };
    for (const auto& c : cases) EXPECT_EQ(TrimSpaces(c.in), c.out) << '"' << c.in << '"';
}
