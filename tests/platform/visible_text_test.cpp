// Texts from outside made fit for a terminal: control characters and what is no
// UTF-8 become \xNN, well-formed UTF-8 stays readable.
#include <gtest/gtest.h>

#include "platform/VisibleText.h"

using plat::LineBreaks;
using plat::VisibleText;

TEST(VisibleText, ControlsAndMalformedBytesAreWrittenOut) {
    const struct {
        const char* what;
        std::string in;
        LineBreaks breaks;
        std::size_t max;
        const char* out;
    } cases[] = {
        {"plain ASCII and a backslash", "News: a\\b", LineBreaks::Shown, std::string::npos, "News: a\\b"},
        {"a title and a screen clear", "a\x1b]0;t\x07\x1b[2J", LineBreaks::Shown, std::string::npos,
         "a\\x1b]0;t\\x07\\x1b[2J"},
        {"NUL, tab and DEL", std::string("\0\t\x7f", 3), LineBreaks::Shown, std::string::npos, "\\x00\\x09\\x7f"},
        {"UTF-8 letters, a euro sign, an emoji and NBSP stay", "Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0",
         LineBreaks::Shown, std::string::npos, "Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0"},
        {"C1 controls, as UTF-8 and as bare bytes", "\xc2\x9b" "2J\x9b" "2J\x85", LineBreaks::Shown, std::string::npos,
         "\\xc2\\x9b2J\\x9b2J\\x85"},
        {"a cut sequence, an overlong ESC, a surrogate, beyond U+10FFFF", "\xe2\x82 \xc0\x9b \xed\xa0\x80 \xf4\x90\x80\x80",
         LineBreaks::Shown, std::string::npos, "\\xe2\\x82 \\xc0\\x9b \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
        {"line breaks on one line", "a\r\nb", LineBreaks::Shown, std::string::npos, "a\\x0d\\x0ab"},
        {"line breaks kept", "a\r\nb\rc\nd\x1b", LineBreaks::Kept, std::string::npos, "a\nb\nc\nd\\x1b"},
        {"cut at the limit", "abcdef", LineBreaks::Shown, 3, "abc..."},
        {"up to the limit", "abc", LineBreaks::Shown, 3, "abc"},
        {"a character is never cut", "a\xc3\xa9", LineBreaks::Shown, 2, "a..."},
        {"the limit counts the bytes given", "\x1b\x1b", LineBreaks::Shown, 1, "\\x1b..."},
    };
    for (const auto& c : cases) EXPECT_EQ(VisibleText(c.in, c.breaks, c.max), c.out) << c.what;
}
