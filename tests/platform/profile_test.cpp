// Profile files behave as GetPrivateProfileStringA / WritePrivateProfileStringA do.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Errors.h"
#include "platform/Profile.h"
#include "tests/common/TestUtil.h"

using namespace plat;
using testutil::kWindows;
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

// What the documentation leaves open: the Linux reader's answer and the Windows
// side's, as Wine's kernel32 gives it. Each side is held to its own.
struct Open {
    std::string linuxReader;
    std::string wine;
    const std::string& here() const { return testutil::kWindows ? wine : linuxReader; }
};

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
    // Lines without '=' are never found.
    EXPECT_EQ(Get(f, "Info", "noequals"), "");
    // Lines the format does not describe.
    const struct {
        const char* what;
        std::string section, key;
        Open answer;
    } open[] = {
        // The Linux reader opens a section at a header without its closing
        // bracket; Wine takes the line for a key of the section before.
        {"header without ']'", "desktop", "size", {"1234", ""}},
        {"header without ']'", "Info", "SIZE", {"", "1234"}},
        // The Linux reader never finds entries before the first header; Wine
        // finds them in the section without a name.
        {"entry before the first header", "", "stray", {"", "before any section"}},
        // ';' starts a comment for the Linux reader; for Wine, it is part of a key.
        {"';' line", "Info", "; VER", {"", "commented"}},
        // The Linux reader drops only spaces around the requested names; Wine
        // drops tabs too.
        {"tab in the requested section", "\tInfo", "VER", {"", "2.5.1"}},
    };
    for (const auto& c : open) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Get(f, c.section, c.key), c.answer.here());
    }
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
    // Blanks around the written names and value: the Linux reader drops the
    // names' and keeps the value's; Wine drops those before the key and the value
    // and keeps the rest, until it reads the file again and writes it anew.
    ASSERT_TRUE(WritePrivateProfileStringA("  INFO ", " VER ", " 2.5 ", f));
    EXPECT_EQ(ReadFile(f), (Open{"[INFO]\r\nVER= 2.5 \r\n", "[INFO ]\r\nVER =2.5 \r\n"}.here()));
    ASSERT_TRUE(WritePrivateProfileStringA("INFO", "Size", "1000", f));
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "a", "", f));
    EXPECT_EQ(ReadFile(f), (Open{"[INFO]\r\nVER= 2.5 \r\nSize=1000\r\n[Other]\r\na=\r\n",
                                 "[INFO]\r\nVER=2.5\r\nSize=1000\r\n[Other]\r\na=\r\n"}
                                .here()));
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
    ASSERT_TRUE(WritePrivateProfileStringA("INFO", "VER", "2.0", f));
    ASSERT_TRUE(WritePrivateProfileStringA("info", "Size", "42", f));
    ASSERT_TRUE(WritePrivateProfileStringA("other", "Y", "2", f));
    // The Linux reader keeps the file's LF line breaks and its blank lines; Wine
    // writes every line with CR LF and leaves the blank ones out.
    EXPECT_EQ(ReadFile(f), (Open{"; written by hand\n"
                                 "\n"
                                 "[Info]\n"
                                 "Ver=2.0\n"
                                 "ver=shadowed\n"
                                 "; about size\n"
                                 "Size=42\n"
                                 "\n"
                                 "[Other]\n"
                                 "x=1\n"
                                 "Y=2\n",
                                 "; written by hand\r\n"
                                 "[Info]\r\n"
                                 "Ver=2.0\r\n"
                                 "ver=shadowed\r\n"
                                 "; about size\r\n"
                                 "Size=42\r\n"
                                 "[Other]\r\n"
                                 "x=1\r\n"
                                 "Y=2\r\n"}
                                .here()));
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
        // The Linux reader follows the file's first line break; Wine writes CR LF.
        {"[Info]\nVER=1\r", "Info", "SIZE",
         kWindows ? "[Info]\r\nVER=1\r\nSIZE=x\r\n" : "[Info]\nVER=1\r\nSIZE=x\n"},
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

// The Linux reader sets ERROR_MORE_DATA for a value cut to the buffer, and
// ERROR_FILE_NOT_FOUND for a missing key in a file that is there; a value that
// fits clears the last error. The documentation names only the missing file;
// Wine's kernel32 sets 0 for each of these.
TEST(ProfileRead, CutValueSetsMoreData) {
    TempDir dir;
    std::string f = dir / "cut.ini";
    WriteFile(f, "[s]\r\nk=abcdef\r\n");
    const struct {
        const char* key;
        DWORD size;
        const char* def;
        std::string expected;
        DWORD linuxError, wineError;
    } cases[] = {
        {"k", 7, "", "abcdef", PL_NO_ERROR, PL_NO_ERROR},
        {"k", 6, "", "abcde", PL_ERROR_MORE_DATA, PL_NO_ERROR},
        {"k", 1, "", "", PL_ERROR_MORE_DATA, PL_NO_ERROR},
        {"missing", 3, "default", "de", PL_ERROR_FILE_NOT_FOUND, PL_NO_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " in " + std::to_string(c.size));
        SetLastError(12345);
        EXPECT_EQ(Get(f, "s", c.key, c.size, c.def), c.expected);
        EXPECT_EQ(GetLastError(), kWindows ? c.wineError : c.linuxError);
    }
}

// Windows documents ERROR_FILE_NOT_FOUND for a file that is not there; the
// default is returned as for a missing key.
TEST(ProfileRead, MissingFileSetsFileNotFound) {
    TempDir dir;
    SetLastError(12345);
    EXPECT_EQ(Get(dir / "absent.ini", "s", "k", 512, "dflt  "), "dflt");
    EXPECT_EQ(GetLastError(), PL_ERROR_FILE_NOT_FOUND);
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
// stays UTF-16LE, with every other line as it was, when it is written. The ANSI
// calls give its text in the ANSI code page: UTF-8 on Linux.
TEST(ProfileUnicode, Utf16FileIsReadAndKeptUtf16) {
    TempDir dir;
    std::string f = dir / "wide.ini";
    const std::u16string name = u"Caf\u00E9 \u20AC \xD83D\xDE00";
    const std::u16string before = u"; comment \u00E9\r\n[Info]\r\nVer=2.5.1\r\nName=" + name + u"\r\n";
    WriteFile(f, Utf16File(before));
    EXPECT_EQ(Get(f, "info", "ver"), "2.5.1");
    EXPECT_EQ(Get(f, "Info", "Name"), testutil::AnsiText(name));
    if (!kWindows) {
        EXPECT_EQ(testutil::AnsiText(name), "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    }

    const std::string note = testutil::AnsiText(u"\u00FC");  // ü
    ASSERT_TRUE(WritePrivateProfileStringA("Info", "Ver", "3.0", f));
    ASSERT_TRUE(WritePrivateProfileStringA("Info", "Note", note, f));
    EXPECT_EQ(ReadFile(f), Utf16File(u"; comment \u00E9\r\n[Info]\r\nVer=3.0\r\nName=" + name + u"\r\n"
                                     u"Note=\u00FC\r\n"));
    EXPECT_EQ(Get(f, "Info", "Note"), note);
    if (!kWindows) {
        EXPECT_EQ(note, "\xC3\xBC");
    }
}
