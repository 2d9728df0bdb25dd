// Profile files behave as GetPrivateProfileStringA / WritePrivateProfileStringA do.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Errors.h"
#include "platform/Profile.h"
#include "tests/common/TestUtil.h"

using namespace plat;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

std::string Get(const std::string& file, const std::string& section, const std::string& key,
                DWORD size = 512, const std::string& def = "", DWORD* count = nullptr) {
    std::string buf(size + 1, '\x7f');
    DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, file);
    if (count) *count = n;
    EXPECT_EQ(buf[n], '\0') << "result not terminated";
    return buf.substr(0, n);
}

}  // namespace

TEST(ProfileRead, NamesIgnoreCaseAndBlanksAndTheFirstMatchWins) {
    TempDir dir;
    std::string f = dir / "cat.cfg";
    WriteFile(f,
              "stray=before any section\r\n"
              "  [ Info ]  trailing text\r\n"
              "VER=2.5.1\r\n"
              "  \t Readme \t =   http://example.test/news.htm   \r\n"
              "ver=second\r\n"
              "; VER=commented\r\n"
              "noequals\r\n"
              "[Desktop\r\n"
              "SIZE=1234\n"
              "[INFO]\r\n"
              "Extra=in the duplicate section\r\n");
    EXPECT_EQ(Get(f, "info", "ver"), "2.5.1");
    EXPECT_EQ(Get(f, "  INFO  ", "  Readme "), "http://example.test/news.htm");
    // Only the first section of a name is searched.
    EXPECT_EQ(Get(f, "Info", "Extra", 512, "dflt"), "dflt");
    // A header without its closing bracket still opens the section.
    EXPECT_EQ(Get(f, "desktop", "size"), "1234");
    // Entries before the first header, comments and lines without '=' are never found.
    EXPECT_EQ(Get(f, "", "stray"), "");
    EXPECT_EQ(Get(f, "Info", "; VER"), "");
    EXPECT_EQ(Get(f, "Info", "noequals"), "");
    // Tabs in the requested names are not stripped.
    EXPECT_EQ(Get(f, "\tInfo", "VER"), "");
    // Default: trailing spaces dropped, leading kept; missing file, section, key.
    EXPECT_EQ(Get(f, "Info", "missing", 512, "  d  "), "  d");
    EXPECT_EQ(Get(f, "Nope", "VER", 512, "x"), "x");
    EXPECT_EQ(Get(dir / "absent.ini", "Info", "VER"), "");
}

TEST(ProfileRead, MatchingQuotesAreDropped) {
    TempDir dir;
    std::string f = dir / "q.ini";
    WriteFile(f,
              "[s]\n"
              "dq=  \"  spaced  \"  \n"
              "sq='single'\n"
              "nested=\"'inner'\"\n"
              "mixed=\"open'\n"
              "one=\"\n"
              "inside=a \"b\" c\n");
    EXPECT_EQ(Get(f, "s", "dq"), "  spaced  ");
    EXPECT_EQ(Get(f, "s", "sq"), "single");
    EXPECT_EQ(Get(f, "s", "nested"), "'inner'");
    EXPECT_EQ(Get(f, "s", "mixed"), "\"open'");
    EXPECT_EQ(Get(f, "s", "one"), "\"");
    EXPECT_EQ(Get(f, "s", "inside"), "a \"b\" c");
}

TEST(ProfileRead, ResultIsCutToTheBuffer) {
    TempDir dir;
    std::string f = dir / "long.ini";
    std::string value(700, 'v');
    value[510] = 'A';
    value[511] = 'B';
    WriteFile(f, "[s]\r\nk=" + value + "\r\nshort=abc\r\n");
    DWORD n = 0;
    std::string got = Get(f, "s", "k", 512, "", &n);
    EXPECT_EQ(n, 511u);
    EXPECT_EQ(got, value.substr(0, 511));
    EXPECT_EQ(got.back(), 'A');
    EXPECT_EQ(Get(f, "s", "short", 3, "", &n), "ab");
    EXPECT_EQ(n, 2u);
    char untouched = 'z';
    EXPECT_EQ(GetPrivateProfileStringA("s", "short", "", &untouched, 0, f), 0u);
    EXPECT_EQ(untouched, 'z');
}

TEST(ProfileWrite, CreatesFileSectionAndKeyWithWindowsLayout) {
    TempDir dir;
    std::string f = dir / "BLMNL.INI";
    ASSERT_TRUE(WritePrivateProfileStringA("  INFO ", " VER ", " 2.5 ", f));
    EXPECT_EQ(ReadFile(f), "[INFO]\r\nVER= 2.5 \r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("INFO", "Size", "1000", f));
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "a", "", f));
    EXPECT_EQ(ReadFile(f), "[INFO]\r\nVER= 2.5 \r\nSize=1000\r\n[Other]\r\na=\r\n");
    EXPECT_EQ(Get(f, "Info", "ver"), "2.5");
    // A missing folder is not created.
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", dir / "nofolder/x.ini"));
    EXPECT_FALSE(testutil::Exists(dir / "nofolder"));
}

TEST(ProfileWrite, ReplacesInPlaceAndKeepsEveryOtherLine) {
    TempDir dir;
    std::string f = dir / "state.ini";
    const std::string before =
        "; written by hand\n"
        "\n"
        "[Info]\n"
        "  Ver = 1.0   \n"
        "ver=shadowed\n"
        "; about size\n"
        "\n"
        "[Other]\n"
        "x=1";
    WriteFile(f, before);
    std::filesystem::permissions(f, static_cast<std::filesystem::perms>(0640));
    ASSERT_TRUE(WritePrivateProfileStringA("INFO", "VER", "2.0", f));
    ASSERT_TRUE(WritePrivateProfileStringA("info", "Size", "42", f));
    ASSERT_TRUE(WritePrivateProfileStringA("other", "Y", "2", f));
    EXPECT_EQ(ReadFile(f),
              "; written by hand\n"
              "\n"
              "[Info]\n"
              "Ver=2.0\n"
              "ver=shadowed\n"
              "; about size\n"
              "Size=42\n"
              "\n"
              "[Other]\n"
              "x=1\n"
              "Y=2\n");
    EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(f).permissions()), 0640u) << "the rewritten file keeps its permissions";
    EXPECT_EQ(Get(f, "Info", "VER"), "2.0");
    // No temporary file is left behind.
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.is_regular_file();
    EXPECT_EQ(entries, 1u);
}

// A file whose last line ends in a lone CR (a CR LF cut short): what is added after
// that line starts a line of its own, in the section it was written to.
TEST(ProfileWrite, LastLineEndingInCarriageReturnGetsItsLineBreak) {
    TempDir dir;
    std::string f = dir / "cut.ini";
    struct Case {
        const char* before;
        const char* section;
        const char* key;
        const char* after;
    };
    const Case cases[] = {
        {"[Info]\r\nVER=1\r", "New", "Readme", "[Info]\r\nVER=1\r\n[New]\r\nReadme=x\r\n"},
        {"[Info]\r", "Info", "VER", "[Info]\r\nVER=x\r\n"},
        {"[Info]\nVER=1\r", "Info", "SIZE", "[Info]\nVER=1\r\nSIZE=x\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        WriteFile(f, c.before);
        ASSERT_TRUE(WritePrivateProfileStringA(c.section, c.key, "x", f));
        EXPECT_EQ(ReadFile(f), c.after);
        EXPECT_EQ(Get(f, c.section, c.key), "x");
        EXPECT_EQ(Get(f, "Info", "Readme", 512, "none"), "none") << "an entry landed in the section before";
    }
}

// A value cut to the buffer sets ERROR_MORE_DATA; one that fits, or a default, does not.
TEST(ProfileRead, CutValueSetsMoreData) {
    TempDir dir;
    std::string f = dir / "cut.ini";
    WriteFile(f, "[s]\r\nk=abcdef\r\n");
    const struct {
        const char* key;
        DWORD size;
        const char* def;
        std::string expected;
        DWORD error;
    } cases[] = {
        {"k", 7, "", "abcdef", PL_NO_ERROR},
        {"k", 6, "", "abcde", PL_ERROR_MORE_DATA},
        {"k", 1, "", "", PL_ERROR_MORE_DATA},
        {"missing", 3, "default", "de", PL_ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " in " + std::to_string(c.size));
        SetLastError(12345);
        EXPECT_EQ(Get(f, "s", c.key, c.size, c.def), c.expected);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

namespace {

// UTF-16LE with its byte-order mark, for text of the Basic Multilingual Plane
// given as code units.
std::string Utf16File(const std::u16string& text) {
    std::string out = "\xFF\xFE";
    for (char16_t u : text) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

}  // namespace

// A file that starts with the UTF-16LE byte-order mark is read as Unicode text and
// stays UTF-16LE, with every other line as it was, when it is written.
TEST(ProfileUnicode, Utf16FileIsReadAndKeptUtf16) {
    TempDir dir;
    std::string f = dir / "wide.ini";
    const std::u16string before = u"; comment \u00E9\r\n[Info]\r\nVer=2.5.1\r\nName=Caf\u00E9 \u20AC \xD83D\xDE00\r\n";
    WriteFile(f, Utf16File(before));
    EXPECT_EQ(Get(f, "info", "ver"), "2.5.1");
    EXPECT_EQ(Get(f, "Info", "Name"), "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");

    ASSERT_TRUE(WritePrivateProfileStringA("Info", "Ver", "3.0", f));
    ASSERT_TRUE(WritePrivateProfileStringA("Info", "Note", "\xC3\xBC", f));  // ü
    EXPECT_EQ(ReadFile(f), Utf16File(u"; comment \u00E9\r\n[Info]\r\nVer=3.0\r\nName=Caf\u00E9 \u20AC \xD83D\xDE00\r\n"
                                     u"Note=\u00FC\r\n"));
    EXPECT_EQ(Get(f, "Info", "Note"), "\xC3\xBC");
}
