// The windows' own rules, without windows: size texts, the textual version
// comparison, and the edition from a description or a switch (the parts of an
// address are tests/http/url_test.cpp's).
#include <gtest/gtest.h>


#include "app/Catalogue.h"
#include "app/CheckFrm.h"
#include "app/DownFrm.h"
#include "app/MainModule.h"
#include "tests/common/ScopedEnv.h"

using nl::Catalogue;
using nl::CheckFrm;
using nl::DownFrm;

TEST(WindowsLogic, FormatFileSize) {
    const DownFrm::NumberStyle english;
    DownFrm::NumberStyle german;
    german.decimalPoint = ',';
    german.thousandsSeparator = '.';
    struct Case {
        std::int32_t size;
        const char* english;
        const char* german;
    };
    const Case cases[] = {
        {0, "0 bytes", "0 bytes"},
        {-5, "-5 bytes", "-5 bytes"},
        {-123456, "-123,456 bytes", "-123.456 bytes"},
        {512, "512 bytes", "512 bytes"},
        {1023, "1,023 bytes", "1.023 bytes"},
        {1024, "1.00KB (1,024 bytes)", "1,00KB (1.024 bytes)"},
        {1536, "1.50KB (1,536 bytes)", "1,50KB (1.536 bytes)"},
        {10239, "10.00KB (10,239 bytes)", "10,00KB (10.239 bytes)"},
        {10240, "10.0KB (10,240 bytes)", "10,0KB (10.240 bytes)"},
        {1126, "1.10KB (1,126 bytes)", "1,10KB (1.126 bytes)"},  // 1.0996...: rounds up
        {102400, "100KB (102,400 bytes)", "100KB (102.400 bytes)"},
        {1024000, "0.98MB (1,024,000 bytes)", "0,98MB (1.024.000 bytes)"},
        {10485760, "10.0MB (10,485,760 bytes)", "10,0MB (10.485.760 bytes)"},
        {104857600, "100MB (104,857,600 bytes)", "100MB (104.857.600 bytes)"},
        {1024000000, "0.95GB (1,024,000,000 bytes)", "0,95GB (1.024.000.000 bytes)"},
        {2147483647, "2.00GB (2,147,483,647 bytes)", "2,00GB (2.147.483.647 bytes)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DownFrm::FormatFileSize(c.size, english), c.english) << c.size;
        EXPECT_EQ(DownFrm::FormatFileSize(c.size, german), c.german) << c.size;
    }
    // Halves go away from zero: 1.125 KB is exactly 1152 bytes.
    EXPECT_EQ(DownFrm::FormatFileSize(1152, english), "1.13KB (1,152 bytes)");
}

TEST(WindowsLogic, ThePlainLocalesWriteSizesTheEnglishWay) {
    // C, POSIX and C.UTF-8 group no digits; the sizes still read "1,536 bytes".
    testutil::ScopedEnv locale("LC_ALL", "C");
    for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
        SCOPED_TRACE(name);
        locale.Set(name);
        const DownFrm::NumberStyle style = DownFrm::UserNumberStyle();
        EXPECT_EQ(DownFrm::FormatFileSize(1536, style), "1.50KB (1,536 bytes)");
    }
}

TEST(WindowsLogic, VersionsCompareAsText) {
    struct Case {
        const char* latest;
        const char* installed;
        bool newer;
    };
    const Case cases[] = {
        {"2.01.0005", "2.01.0005", false}, {"2.01.0105", "2.01.0005", true}, {"2.01.0004", "2.01.0005", false},
        {"2.1.0.6", "2.01.0005", true},    {"10.00.0000", "9.00.0000", false}, {"2.01.0305", "2.01.0005", true},
        {"2.01.0005", "", true},           {"2.01", "2.01.0005", false},       {"2.01.0005a", "2.01.0005", true},
        {"2.01.0005", "2.01.0005A", false},
    };
    for (const Case& c : cases) EXPECT_EQ(nl::VersionTextGreater(c.latest, c.installed), c.newer) << c.latest << " " << c.installed;
}

TEST(WindowsLogic, EditionFromTheDescriptionOrTheSwitch) {
    struct Case {
        const char* switchCode;
        const char* description;
        const char* detected;
        const char* key;
        const char* catalogue;
    };
    const Case cases[] = {
        {"/A", "brightloom desktop", "/D", "Desktop", "/m_update/blmnl.cfg"},
        {"/A", "brightloom standard", "/S", "Standard", "/m_update/blmnl.cfg"},
        {"/A", "brightloom professional", "/P", "Professional", "/m_update/blmnl.cfg"},
        {"/A", "brightloom evaluation", "/E", "Evaluation", "/download/blmnl.cfg"},
        {"/A", "brightloom professional evaluation", "/E", "Evaluation", "/download/blmnl.cfg"},
        {"/A", "evaluation desktop", "/E", "Evaluation", "/download/blmnl.cfg"},  // the order of the tests counts
        {"/A", "brightloom", "/T", "TE", "/download/blmnl.cfg"},
        {"/P", "brightloom desktop", "/P", "Professional", "/m_update/blmnl.cfg"},
        {"/T", "brightloom desktop", "/T", "TE", "/download/blmnl.cfg"},
    };
    for (const Case& c : cases) {
        const std::string detected = CheckFrm::DetectSwitch(c.switchCode, c.description);
        EXPECT_EQ(detected, c.detected) << c.description;
        ASSERT_NE(Catalogue::EditionOf(detected), nullptr);
        EXPECT_STREQ(Catalogue::EditionOf(detected)->key, c.key);
        EXPECT_EQ(Catalogue::UrlFor("http://srv", detected), std::string("http://srv") + c.catalogue);
    }
    EXPECT_STREQ(Catalogue::EditionOf("/D")->name, "Desktop Edition");
    EXPECT_STREQ(Catalogue::EditionOf("/T")->name, "Trial / Evaluation");
    EXPECT_EQ(Catalogue::EditionOf("/X"), nullptr);
    EXPECT_EQ(Catalogue::EditionOf("/A"), nullptr);
    EXPECT_TRUE(Catalogue::IsPaid("/X"));
    EXPECT_EQ(Catalogue::EditionNamed("te"), Catalogue::EditionOf("/T"));
}
