// Texts from outside made fit for a terminal: control characters and what is no
// UTF-8 become \xNN, well-formed UTF-8 stays readable.
#include <gtest/gtest.h>

#include "platform/VisibleText.h"

using plat::LineBreaks;

TEST(VisibleText, ControlsAndMalformedBytesAreWrittenOut) {
    constexpr auto all = std::string::npos;
    const struct {
        std::string in;
        LineBreaks breaks;
        std::size_t max;
        const char* out;
    } cases[] = {
        // A title, a screen clear, NUL, tab and DEL; a backslash stays.
        {std::string("a\\b\x1b]0;t\x07\x1b[2J\0\t\x7f", 16), LineBreaks::Shown, all,
         "a\\b\\x1b]0;t\\x07\\x1b[2J\\x00\\x09\\x7f"},
        // Letters, a euro sign, an emoji and NBSP stay; C1 controls, as UTF-8 and bare, do not.
        {"\xc3\xb6\xe2\x82\xac\xf0\x9f\x98\x80\xc2\xa0 \xc2\x9b\x9b\x85", LineBreaks::Shown, all,
         "\xc3\xb6\xe2\x82\xac\xf0\x9f\x98\x80\xc2\xa0 \\xc2\\x9b\\x9b\\x85"},
        // A cut sequence, an overlong ESC, a surrogate, beyond U+10FFFF.
        {"\xe2\x82 \xc0\x9b \xed\xa0\x80 \xf4\x90\x80\x80", LineBreaks::Shown, all,
         "\\xe2\\x82 \\xc0\\x9b \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
        {"a\r\nb", LineBreaks::Shown, all, "a\\x0d\\x0ab"},
        {"a\r\nb\rc\nd\x1b", LineBreaks::Kept, all, "a\nb\nc\nd\\x1b"},
        {"abcdef", LineBreaks::Shown, 3, "abc..."},
        {"abc", LineBreaks::Shown, 3, "abc"},
        {"a\xc3\xa9", LineBreaks::Shown, 2, "a..."},  // never half a character
    };
    for (const auto& c : cases) EXPECT_EQ(plat::VisibleText(c.in, c.breaks, c.max), c.out) << c.out;
}
