// The user's number style from Windows' regional settings, set for the test
// through SetLocaleInfoW and put back afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/DownFrm.h"
#include "platform/NumberFormat.h"
#include "tests/platform/win32/common/SavedValue.h"

TEST(NumberFormat, TheUsersRegionalSettingsWriteTheSizes) {
    const char* key = "Control Panel\\International";
    testutil::SavedValue decimal(HKEY_CURRENT_USER, key, "sDecimal");
    testutil::SavedValue thousand(HKEY_CURRENT_USER, key, "sThousand");
    testutil::SavedValue grouping(HKEY_CURRENT_USER, key, "sGrouping");
    struct Case {
        const wchar_t *point, *separator, *grouping;
        const char* size;  // 12,345,678 bytes the English way
    };
    const Case cases[] = {
        {L",", L".", L"3;0", "11,8MB (12.345.678 bytes)"},
        {L".", L"'", L"3;2;0", "11.8MB (1'23'45'678 bytes)"},
        {L",", L"\u00a0", L"3", "11,8MB (12345\u00a0678 bytes)"},  // one group, a no-break space
        {L".", L",", L"0", "11.8MB (12345678 bytes)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, c.point));
        ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, c.separator));
        ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SGROUPING, c.grouping));
        plat::NumberFormat format;
        ASSERT_TRUE(plat::UserNumberFormat(format));
        EXPECT_EQ(nl::DownFrm::FormatFileSize(12345678, nl::DownFrm::UserNumberStyle()), c.size);
    }
}
