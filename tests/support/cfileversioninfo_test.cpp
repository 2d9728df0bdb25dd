// CFileVersionInfo over real program files built by the mingw-w64 tools (and an
// ELF file given a version section), reused objects, and the name edge cases.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/VersionInfo.h"
#include "support/CFileVersionInfo.h"
#include "tests/common/Fixtures.h"
#include "tests/common/TestUtil.h"

namespace {

using nl::CFileVersionInfo;

using testutil::Fixture;

// Changes the current folder for one test and goes back afterwards.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& path) {
        std::error_code ec;
        old_ = std::filesystem::current_path(ec);
        if (ec) old_ = "/";
        std::filesystem::current_path(path, ec);
        EXPECT_FALSE(ec) << path;
    }
    ~CurrentFolder() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        EXPECT_FALSE(ec);
    }

private:
    std::filesystem::path old_;
};

TEST(CFileVersionInfo, NewObjectIsEmpty) {
    CFileVersionInfo v;
    EXPECT_FALSE(v.Available());
    for (int i = 0; i <= 14; ++i) EXPECT_EQ(v.PredefinedValue(i), "") << i;
    EXPECT_EQ(v.FullPathName(), "");
    EXPECT_EQ(v.VerFile() + v.VerProduct() + v.VerStructure() + v.FileFlags() + v.FileOS() + v.FileType() +
                  v.FileSubType(),
              "");
}

TEST(CFileVersionInfo, ApplicationWithEveryString) {
    NL_SKIP_WITHOUT_FIXTURES();
    CFileVersionInfo v;
    v.SetFullPathName(Fixture("app.exe"));
    ASSERT_TRUE(v.Available());
    EXPECT_EQ(v.FullPathName(), Fixture("app.exe"));
    EXPECT_EQ(v.VerStructure(), "1.0");
    EXPECT_EQ(v.VerFile(), "2.01.0005");
    EXPECT_EQ(v.VerProduct(), "2.01.0005");
    EXPECT_EQ(v.FileFlags(), "");
    EXPECT_EQ(v.FileOS(), "NT-Win32");
    EXPECT_EQ(v.FileType(), "Application");
    EXPECT_EQ(v.FileSubType(), "");
    EXPECT_EQ(v.Language(), testutil::LanguageName(0x0409, "English (United States)"));
    EXPECT_EQ(v.Comments(), "Installed by the Brightloom setup");
    EXPECT_EQ(v.CompanyName(), "Brightloom Labs");
    EXPECT_EQ(v.FileDescription(), "Brightloom Desktop");
    EXPECT_EQ(v.FileVersion(), "2.1.0.5");
    EXPECT_EQ(v.InternalName(), "brightloom");
    EXPECT_EQ(v.LegalCopyright(), "Copyright (C) Brightloom Labs");
    EXPECT_EQ(v.LegalTrademarks(), "Brightloom is a trademark of Brightloom Labs");
    EXPECT_EQ(v.OriginalFilename(), "brightloom.exe");
    EXPECT_EQ(v.ProductName(), "Brightloom");
    EXPECT_EQ(v.ProductVersion(), "2.1.0.5");
    EXPECT_EQ(v.PrivateBuild(), "Built on the release machine");
    EXPECT_EQ(v.SpecialBuild(), "Desktop edition");

    // The index table pairs every name with its value.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Language", v.Language()},
        {"Comments", v.Comments()},
        {"Company Name", v.CompanyName()},
        {"File Description", v.FileDescription()},
        {"File Version", v.FileVersion()},
        {"Internal Name", v.InternalName()},
        {"Legal Copyright", v.LegalCopyright()},
        {"Legal Trademarks", v.LegalTrademarks()},
        {"Original Filename", v.OriginalFilename()},
        {"Product Name", v.ProductName()},
        {"Product Version", v.ProductVersion()},
        {"Private Build", v.PrivateBuild()},
        {"Special Build", v.SpecialBuild()},
        {"LegalTrademarks1", "First further mark"},
        {"LegalTrademarks2", "Second further mark"},
    };
    for (int i = 0; i <= 14; ++i) {
        EXPECT_EQ(v.PredefinedName(i), expected[i].first) << i;
        EXPECT_EQ(v.PredefinedValue(i), expected[i].second) << i;
    }
    EXPECT_EQ(v.PredefinedName(15), "");
    EXPECT_EQ(v.PredefinedName(-1), "");
    EXPECT_EQ(v.PredefinedValue(-1), "");
    EXPECT_EQ(v.PredefinedValue(15), "");
}

TEST(CFileVersionInfo, VersionPaddingFlagsAndSystem) {
    NL_SKIP_WITHOUT_FIXTURES();
    CFileVersionInfo v;
    v.SetFullPathName(Fixture("versions.exe"));
    ASSERT_TRUE(v.Available());
    EXPECT_EQ(v.VerFile(), "3.00.0207");
    EXPECT_EQ(v.VerProduct(), "2.10.1112");
    EXPECT_EQ(v.FileFlags(), "Debug Special");
    EXPECT_EQ(v.FileOS(), "Unknown");  // 0x00000004

    CFileVersionInfo dll;
    dll.SetFullPathName(Fixture("library.dll"));
    ASSERT_TRUE(dll.Available());
    EXPECT_EQ(dll.VerFile(), "1.00.12345");
    EXPECT_EQ(dll.VerProduct(), "10.20.12345");
    EXPECT_EQ(dll.FileType(), "DLL");
    EXPECT_EQ(dll.FileSubType(), "");
}

TEST(CFileVersionInfo, DriverAndFontSubtypes) {
    NL_SKIP_WITHOUT_FIXTURES();
    CFileVersionInfo drv;
    drv.SetFullPathName(Fixture("printer.drv"));
    ASSERT_TRUE(drv.Available());
    EXPECT_EQ(drv.FileType(), "Driver");
    EXPECT_EQ(drv.FileSubType(), "Printer drv");

    CFileVersionInfo font;
    font.SetFullPathName(Fixture("font.fon"));
    ASSERT_TRUE(font.Available());
    EXPECT_EQ(font.FileType(), "Font");
    EXPECT_EQ(font.FileSubType(), "TrueType Font");
}

TEST(CFileVersionInfo, FirstTranslationFallsBackToUsEnglishTable) {
    NL_SKIP_WITHOUT_FIXTURES();
    CFileVersionInfo v;
    v.SetFullPathName(Fixture("chinese.exe"));
    ASSERT_TRUE(v.Available());
    EXPECT_EQ(v.Language(), testutil::LanguageName(0x0804, "Chinese (Simplified, PRC)"));
    // CompanyName is only under 040903A8, so every string comes from there.
    EXPECT_EQ(v.CompanyName(), "English table company");
    EXPECT_EQ(v.FileDescription(), "English table description");
    EXPECT_EQ(v.ProductName(), "English table product");
}

TEST(CFileVersionInfo, Pe32PlusAndElf) {
    NL_SKIP_WITHOUT_FIXTURES();
    CFileVersionInfo v;
    v.SetFullPathName(Fixture("app64.exe"));
    ASSERT_TRUE(v.Available());
    EXPECT_EQ(v.VerProduct(), "4.05.0607");
    EXPECT_EQ(v.FileFlags(), "Private");
    EXPECT_EQ(v.Language(), testutil::LanguageName(0x0407, "German (Germany)"));
    EXPECT_EQ(v.FileDescription(), "Brightloom Desktop 64");

    CFileVersionInfo elf;
    elf.SetFullPathName(Fixture("linux.elf"));
    if (testutil::kWindows) {
        // Windows reads version resources from its own (PE) files alone.
        EXPECT_FALSE(elf.Available());
        return;
    }
    ASSERT_TRUE(elf.Available());
    EXPECT_EQ(elf.VerProduct(), "2.02.0009");
    EXPECT_EQ(elf.FileDescription(), "Brightloom Desktop for Linux");
    EXPECT_EQ(elf.ProductVersion(), "2.2.0.9");

    CFileVersionInfo elf32;
    elf32.SetFullPathName(Fixture("linux32.o"));
    ASSERT_TRUE(elf32.Available());
    EXPECT_EQ(elf32.FileDescription(), "Brightloom Desktop for Linux");
}

TEST(CFileVersionInfo, ReuseKeepsWhatTheNextFileLacks) {
    NL_SKIP_WITHOUT_FIXTURES();
    CFileVersionInfo v;
    v.SetFullPathName(Fixture("printer.drv"));
    ASSERT_EQ(v.FileSubType(), "Printer drv");

    // A DLL leaves the subtype alone.
    v.SetFullPathName(Fixture("library.dll"));
    EXPECT_EQ(v.FileType(), "DLL");
    EXPECT_EQ(v.FileSubType(), "Printer drv");

    // No translation table: the fixed part is new, language and strings are kept.
    v.SetFullPathName(Fixture("app.exe"));
    v.SetFullPathName(Fixture("notrans.dll"));
    ASSERT_TRUE(v.Available());
    EXPECT_EQ(v.VerFile(), "7.01.0000");
    EXPECT_EQ(v.FileFlags(), "PreRel");
    EXPECT_EQ(v.FileType(), "DLL");
    EXPECT_EQ(v.Language(), testutil::LanguageName(0x0409, "English (United States)"));
    EXPECT_EQ(v.CompanyName(), "Brightloom Labs");
    EXPECT_EQ(v.FileDescription(), "Brightloom Desktop");

    // A text file has no version information: everything else stays.
    v.SetFullPathName(Fixture("text.txt"));
    EXPECT_FALSE(v.Available());
    EXPECT_EQ(v.FullPathName(), Fixture("text.txt"));
    EXPECT_EQ(v.VerFile(), "7.01.0000");
    EXPECT_EQ(v.CompanyName(), "Brightloom Labs");

    // So does a missing one; and reading a good file again makes it available.
    v.SetFullPathName(Fixture("missing.exe"));
    EXPECT_FALSE(v.Available());
    v.Refresh();
    EXPECT_FALSE(v.Available());
    v.SetFullPathName(Fixture("versions.exe"));
    EXPECT_TRUE(v.Available());
    EXPECT_EQ(v.CompanyName(), "Versions Inc");
    EXPECT_EQ(v.Comments(), "");  // a missing value is the empty text
}

TEST(CFileVersionInfo, RelativeNamesResolveAgainstTheCurrentFolder) {
    NL_SKIP_WITHOUT_FIXTURES();
    CurrentFolder here(testutil::BuildDir() + "/tests/support/fixtures");
    CFileVersionInfo v;
    v.SetFullPathName("app.exe");
    EXPECT_TRUE(v.Available());
    EXPECT_EQ(v.FullPathName(), Fixture("app.exe"));
    v.SetFullPathName("./nowhere/../versions.exe");
    EXPECT_EQ(v.FullPathName(), Fixture("versions.exe"));
    EXPECT_EQ(v.VerFile(), "3.00.0207");
}

TEST(CFileVersionInfo, UnresolvableAndOverlongNames) {
    NL_SKIP_WITHOUT_FIXTURES();
    CFileVersionInfo v;
    v.SetFullPathName(Fixture("app.exe"));
    ASSERT_TRUE(v.Available());

    // A name that cannot be resolved changes nothing at all.
    v.SetFullPathName("");
    EXPECT_TRUE(v.Available());
    EXPECT_EQ(v.FullPathName(), Fixture("app.exe"));

    // A name that fits but whose full path needs 260 characters or more: no version
    // information, and the name stays as it was instead of turning into blanks.
    {
        CurrentFolder here(Fixture(""));
        v.SetFullPathName(std::string(250, 'a'));
    }
    if (!testutil::WineVersion().empty() && v.Available()) {
        // Wine's GetFullPathNameA fails there (0, ERROR_FILENAME_EXCED_RANGE) where
        // Windows answers with the size needed: the name counts as unresolvable.
        // tests/platform/win32/version_calls_test.cpp records the difference.
    } else {
        EXPECT_FALSE(v.Available());
    }
    EXPECT_EQ(v.FullPathName(), Fixture("app.exe"));
    EXPECT_EQ(v.FileDescription(), "Brightloom Desktop");

    // 259 characters still fit (a full path on Windows starts with its drive).
    std::string name = testutil::kWindows ? "C:\\" + std::string(256, 'b') : "/" + std::string(258, 'b');
    v.SetFullPathName(name);
    EXPECT_EQ(v.FullPathName(), name);
    EXPECT_FALSE(v.Available());
}

TEST(CFileVersionInfo, RootBlockThatCannotBeQueriedIsNotAvailable) {
    NL_SKIP_WITHOUT_FIXTURES();
    // The real program file, with the root's value length (the fixed part) zeroed.
    std::string bytes = testutil::ReadFile(Fixture("app.exe"));
    const std::string key("V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0", 30);
    auto at = bytes.find(key);
    ASSERT_NE(at, std::string::npos);
    ASSERT_GE(at, 6u);
    bytes[at - 4] = 0;
    bytes[at - 3] = 0;
    testutil::TempDir dir;
    testutil::WriteFile(dir / "nofixed.exe", bytes);

    CFileVersionInfo v;
    v.SetFullPathName(dir / "nofixed.exe");
    EXPECT_FALSE(v.Available());
    EXPECT_EQ(v.VerFile(), "");
    EXPECT_EQ(v.CompanyName(), "");
}

TEST(CFileVersionInfo, FmtHex) {
    CFileVersionInfo v;
    EXPECT_EQ(v.FmtHex(1033, 4), "0409");
    EXPECT_EQ(v.FmtHex(1252, 4), "04E4");
    EXPECT_EQ(v.FmtHex(-1, 4), "FFFF");
    EXPECT_EQ(v.FmtHex(-1, 10), "00FFFFFFFF");
    EXPECT_EQ(v.FmtHex(0x3A8, 4), "03A8");
    EXPECT_EQ(v.FmtHex(0x12345, 4), "2345");
    EXPECT_EQ(v.FmtHex(0, 2), "00");
    EXPECT_EQ(v.FmtHex(255, 0), "");
    EXPECT_EQ(v.FmtHex(255, -3), "");
}

TEST(CFileVersionInfo, GetStdValueOnLoadedData) {
    NL_SKIP_WITHOUT_FIXTURES();
    std::string path = Fixture("app.exe");
    plat::DWORD handle = 7;
    plat::DWORD size = plat::GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<unsigned char> data(size + 1, 0);
    ASSERT_TRUE(plat::GetFileVersionInfoA(path.c_str(), handle, size, data.data()));
    CFileVersionInfo v;
    EXPECT_EQ(v.GetStdValue(data.data(), "\\StringFileInfo\\040904B0\\CompanyName"), "Brightloom Labs");
    EXPECT_EQ(v.GetStdValue(data.data(), "\\StringFileInfo\\040904B0\\Nothing"), "");
    EXPECT_EQ(v.GetStdValue(data.data(), "\\StringFileInfo"), "");  // a block, no value
}

}  // namespace
