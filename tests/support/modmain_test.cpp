#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/modMain.h"
#include "support/ErrorReport.h"
#include "tests/common/TestUtil.h"

using namespace nl;

TEST(Base64Encode, PaddingByLengthAndRfcVectors) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    // High single-byte codes are taken as 0..255, not as negative chars.
    EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x80", 3)), "//6A");
    EXPECT_EQ(Base64Encode(std::string("\0", 1)), "AA==");
    // Long texts carry no line breaks.
    std::string enc = Base64Encode(std::string(300, 'x'));
    EXPECT_EQ(enc.size(), 400u);
    EXPECT_EQ(enc.find('\n'), std::string::npos);
}

TEST(Base64Encode, PositionLimit) {
    EXPECT_EQ(Base64Encode(std::string(32767, 'a')).size(), 43692u);
    try {
        Base64Encode(std::string(32768, 'a'));
        FAIL() << "no overflow";
    } catch (const RaisedError& e) {
        EXPECT_EQ(e.Number(), 6);
    }
}

TEST(SafeFileLen, LengthsAndFailures) {
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a", "12345");
    testutil::WriteFile(dir / "empty", "");
    EXPECT_EQ(SafeFileLen(dir / "a"), 5);
    EXPECT_EQ(SafeFileLen(dir / "empty"), 0);
    EXPECT_EQ(SafeFileLen(dir / "missing"), -1);
    EXPECT_EQ(SafeFileLen(dir.path()), -1);  // a folder is not a file
    EXPECT_EQ(SafeFileLen(""), -1);
    EXPECT_EQ(SafeFileLen(dir / "a/b"), -1);  // invalid path
}

TEST(ReplaceFirst, OnlyTheFirstOccurrence) {
    EXPECT_EQ(ReplaceFirst("a\\b\\c.zip", "\\", "/"), "a/b\\c.zip");
    EXPECT_EQ(ReplaceFirst("abc", "x", "y"), "abc");
    EXPECT_EQ(ReplaceFirst("abc", "c", ""), "ab");
    EXPECT_EQ(ReplaceFirst("abc", "abc", "Z"), "Z");
    EXPECT_EQ(ReplaceFirst("abc", "", "<"), "<abc");
    EXPECT_EQ(ReplaceFirst("aBc", "b", "x"), "aBc");  // case-sensitive
}

TEST(ReplaceFirst, OccurrenceBeyondPositionLimitOverflows) {
    std::string t(32766, 'a');
    EXPECT_EQ(ReplaceFirst(t + "b", "b", "c"), t + "c");  // position 32767
    try {
        ReplaceFirst(t + "ab", "b", "c");  // position 32768
        FAIL() << "no overflow";
    } catch (const RaisedError& e) {
        EXPECT_EQ(e.Number(), 6);
    }
}

TEST(InStrLast, LastOccurrence) {
    EXPECT_EQ(InStrLast("/download/blmnl.cfg", "/"), 10);
    EXPECT_EQ(InStrLast("/a/b/", "/"), 5);  // trailing "/" gives the length
    EXPECT_EQ(InStrLast("abc", "x"), 0);
    EXPECT_EQ(InStrLast("ab", "abc"), 0);
    EXPECT_EQ(InStrLast("abab", "ab"), 3);
    EXPECT_EQ(InStrLast("abc", ""), 4);
    EXPECT_EQ(InStrLast("", ""), 1);
}

TEST(SplitText, HeaderLinesAndEdges) {
    std::vector<std::string> parts{"stale", "values"};
    SplitText("a\r\nb\r\n\r\n", "\r\n", parts);
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "b", ""}));

    SplitText("a\r\nb\r\nc", "\r\n", parts);
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "b", "c"}));

    SplitText("abc", "\r\n", parts);
    EXPECT_EQ(parts, (std::vector<std::string>{"abc"}));

    SplitText("", "\r\n", parts);
    EXPECT_EQ(parts, (std::vector<std::string>{""}));

    SplitText("\r\nx", "\r\n", parts);
    EXPECT_EQ(parts, (std::vector<std::string>{"", "x"}));

    SplitText("a,,b,", ",", parts);
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "", "b"}));
}
