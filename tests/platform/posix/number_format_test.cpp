// The user's number style from the numeric locale the environment names, with
// real locales compiled for the test (localedef, from Debian's locales package).
#include <gtest/gtest.h>

#include "app/DownFrm.h"
#include "platform/NumberFormat.h"
#include "tests/common/ScopedEnv.h"
#include "tests/common/TestUtil.h"

TEST(NumberFormat, TheUsersLocaleWritesTheSizes) {
    testutil::TempDir locales;
    struct Case {
        const char* locale;  // built as <name>.<charset>
        const char* charset;
        const char* point;
        const char* separator;
        const char* size;  // 12,345,678 bytes the English way
    };
    const Case cases[] = {
        {"de_DE", "UTF-8", ",", ".", "11,8MB (12.345.678 bytes)"},
        // A separator of several bytes (U+202F, a narrow no-break space).
        {"fr_FR", "UTF-8", ",", "\u202f", "11,8MB (12\u202f345\u202f678 bytes)"},
        {"en_IN", "UTF-8", ".", ",", "11.8MB (1,23,45,678 bytes)"},
        {"de_DE", "ISO-8859-1", ",", ".", "11,8MB (12.345.678 bytes)"},
    };
    testutil::ScopedEnv path("LOCPATH", locales.path());
    testutil::ScopedEnv all("LC_ALL", "C");
    for (const Case& c : cases) {
        const std::string name = std::string(c.locale) + "." + c.charset;
        SCOPED_TRACE(name);
        const auto made = testutil::Run({"/usr/bin/localedef", "-c", "-i", c.locale, "-f", c.charset, locales / name});
        if (made.exitCode != 0 && made.exitCode != 1) GTEST_SKIP() << "localedef could not build " << name << " (Debian's locales package)";
        all.Set(name);
        plat::NumberFormat format;
        ASSERT_TRUE(plat::UserNumberFormat(format));
        EXPECT_EQ(format.decimalPoint, c.point);
        EXPECT_EQ(format.thousandsSeparator, c.separator);
        EXPECT_EQ(nl::DownFrm::FormatFileSize(12345678, nl::DownFrm::UserNumberStyle()), c.size);
    }
    // A locale that is not there, and the plain ones, have no style of their own.
    for (const char* name : {"xx_YY.UTF-8", "C", "C.UTF-8"}) {
        all.Set(name);
        plat::NumberFormat format;
        EXPECT_FALSE(plat::UserNumberFormat(format)) << name;
    }
}
