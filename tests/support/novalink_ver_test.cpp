// The novalink-ver command on real program files.
#include <gtest/gtest.h>

#include <string>

#include "tests/common/Fixtures.h"
#include "tests/common/PeFileBuilder.h"
#include "tests/common/VersionBlockBuilder.h"
#include "tests/common/TestUtil.h"

namespace {

using testutil::Fixture;
std::string Tool() { return testutil::BuildDir() + "/novalink-ver"; }

bool HasLine(const std::string& out, const std::string& line) {
    return ("\n" + out).find("\n" + line + "\n") != std::string::npos;
}

TEST(NovalinkVer, PrintsEveryMemberOfAProgramFile) {
    NL_SKIP_WITHOUT_FIXTURES();
    auto r = testutil::Run({Tool(), Fixture("app.exe")}, {}, 20);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(HasLine(r.out, "FullPathName: " + Fixture("app.exe"))) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Available: True")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "VerProduct: 2.01.0005")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "FileDescription: Brightloom Desktop")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Language: " + testutil::LanguageName(0x0409, "English (United States)"))) << r.out;
    EXPECT_TRUE(HasLine(r.out, "LegalTrademarks2: Second further mark")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "FileFlags: ")) << r.out;
    // One line for each of the 24 members.
    std::size_t lines = 0;
    for (char c : r.out) lines += c == '\n';
    EXPECT_EQ(lines, 24u) << r.out;
}

TEST(NovalinkVer, SeveralFilesAndOneWithoutVersionInformation) {
    NL_SKIP_WITHOUT_FIXTURES();
    auto r = testutil::Run({Tool(), Fixture("versions.exe"), Fixture("text.txt")}, {}, 20);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_TRUE(HasLine(r.out, "FileFlags: Debug Special")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "VerFile: 3.00.0207")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "FullPathName: " + Fixture("text.txt"))) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Available: False")) << r.out;
    // The text file's block does not inherit anything from the program before it.
    auto second = r.out.substr(r.out.find("FullPathName: " + Fixture("text.txt")));
    EXPECT_TRUE(HasLine(second, "CompanyName: ")) << r.out;
}

// A file that cannot be read is not one without version information: its own exit
// code and a message on stderr, and the other files are still shown.
TEST(NovalinkVer, FileThatCannotBeReadIsAnError) {
    testutil::TempDir dir;
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir / "missing.exe", "no such file"},
        // Windows tells a missing folder (ERROR_PATH_NOT_FOUND) from a missing file.
        {dir / "nofolder/app.exe", testutil::kWindows ? "no such folder" : "no such file"},
        {dir.path(), "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto r = testutil::Run({Tool(), c.path, Fixture("app.exe")}, {}, 20);
        EXPECT_EQ(r.exitCode, 3) << r.out;
        EXPECT_NE(r.out.find("novalink-ver: cannot read " + c.path + ": "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
        EXPECT_FALSE(HasLine(r.out, "Available: False")) << r.out;
        EXPECT_TRUE(HasLine(r.out, "Available: True")) << r.out;
    }
}

// A file's version texts that would set the terminal's title or clear it are
// shown, not obeyed.
TEST(NovalinkVer, TextsThatWouldDriveTheTerminalAreShown) {
    using testutil::VersionBlockBuilder;
    testutil::TempDir dir;
    const auto file = testutil::PeFileBuilder::Build(VersionBlockBuilder::Standard(
        0x00020001, 5, "040904B0", {{"CompanyName", u"\x1b]0;owned\x07"}, {"FileDescription", u"\x1b[2Jgone"}},
        {0x04B00409}));
    testutil::WriteFile(dir / "crafted.exe", std::string(file.begin(), file.end()));
    auto r = testutil::Run({Tool(), dir / "crafted.exe"}, {}, 20);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(HasLine(r.out, "CompanyName: \\x1b]0;owned\\x07")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "FileDescription: \\x1b[2Jgone")) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
}

TEST(NovalinkVer, WithoutArgumentsShowsUsage) {
    auto r = testutil::Run({Tool()}, {}, 20);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("usage"), std::string::npos) << r.out;
}

}  // namespace
