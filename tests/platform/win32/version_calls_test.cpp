// The kernel32 and version.dll answers the version reader builds on, as Windows
// documents them: VerLanguageNameA describes a language identifier in full
// ("Spanish (Traditional Sort)" for 0x040A), says "Language Neutral" for one it
// does not know, and counts the text without its terminating null;
// GetFullPathNameA answers a buffer too small for the full path with the size
// needed. Wine answers some of these otherwise; the tests name each difference in
// Wine's words rather than letting it pass unseen.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/VersionInfo.h"
#include "tests/common/TestUtil.h"
#include "tests/platform/win32/common/Wine.h"

namespace {

struct Case {
    plat::DWORD id;
    const char* windows;  // Windows' documented description
    const char* wine;     // Wine 8's
};
const Case kCases[] = {
    {0x0409, "English (United States)", "English"},
    {0x040A, "Spanish (Traditional Sort)", "Spanish"},
    {0x0407, "German (Germany)", "German"},
    {0x0804, "Chinese (Simplified, PRC)", "Chinese (Simplified)"},
    {0x1234, "Language Neutral", ""},
};

TEST(VersionCalls, VerLanguageNameDescribesALanguageInFull) {
    const std::string wine = testutil::WineVersion();
    int wineNames = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.windows);
        char name[128] = "";
        const plat::DWORD n = plat::VerLanguageNameA(c.id, name, sizeof name);
        // The platform's count is the text's length, whatever the system counted.
        EXPECT_EQ(n, std::strlen(name));
        if (!wine.empty() && std::strcmp(name, c.windows) != 0) {
            EXPECT_STREQ(name, c.wine) << "Wine " << wine << " names 0x" << std::hex << c.id << " otherwise now";
            ++wineNames;
            continue;
        }
        EXPECT_STREQ(name, c.windows);
    }
    if (!wine.empty()) {
        // Wine's own count includes the terminating null.
        char name[128] = "";
        const ::DWORD raw = ::VerLanguageNameA(0x0409, name, sizeof name);
        if (raw == std::strlen(name) + 1)
            std::printf("Wine %s: VerLanguageNameA counts the terminating null (%lu for \"%s\")\n", wine.c_str(),
                        static_cast<unsigned long>(raw), name);
        else
            EXPECT_EQ(raw, std::strlen(name)) << "Wine " << wine;
    }
    if (wineNames > 0)
        GTEST_SKIP() << "Wine " << wine << " differs from Windows on " << wineNames
                     << " language names: its VerLanguageNameA names the primary language alone "
                        "(\"English\" for 0x0409, where Windows says \"English (United States)\"), "
                        "and gives nothing (0) for an unknown identifier instead of \"Language Neutral\"";
}

TEST(VersionCalls, GetFullPathNameAnswersASmallBufferWithTheSizeNeeded) {
    // A name within MAX_PATH in a current folder whose full path then exceeds it.
    char old[MAX_PATH];
    ASSERT_GT(::GetCurrentDirectoryA(sizeof old, old), 0u);
    const std::string folder = testutil::BuildDir() + "\\";
    ASSERT_TRUE(::SetCurrentDirectoryA(folder.c_str())) << folder;
    const std::string name(250, 'a');
    char buffer[MAX_PATH];
    ::SetLastError(0);
    const ::DWORD n = ::GetFullPathNameA(name.c_str(), sizeof buffer, buffer, nullptr);
    const ::DWORD error = ::GetLastError();
    ::SetCurrentDirectoryA(old);
    const std::string wine = testutil::WineVersion();
    if (!wine.empty() && n == 0) {
        EXPECT_EQ(error, static_cast<::DWORD>(ERROR_FILENAME_EXCED_RANGE)) << "Wine " << wine;
        GTEST_SKIP() << "Wine " << wine << ": GetFullPathNameA fails (0, ERROR_FILENAME_EXCED_RANGE) for a full "
                     << "path longer than MAX_PATH, where Windows answers with the size needed";
    }
    EXPECT_EQ(n, folder.size() + name.size() + 1);
}

}  // namespace
