// The one catalogue reader: the profile rules on the bytes held in memory, the
// same on both systems, and the lines a publisher must not rewrite. (Loading,
// writing and the bound: tests/tools/novalink_publish_test.cpp.)
#include <gtest/gtest.h>

#include "app/Catalogue.h"

using nl::Catalogue;

TEST(Catalogue, ValuesAndTheLinesThatAreNotPlain) {
    const std::string longValue(600, 'v');
    const struct {
        const char* what;
        std::string bytes, section, key, value;
        std::vector<std::size_t> irregular;
    } cases[] = {
        {"plain", "[Info]\r\nVER=2.01.0105\r\n; note\r\n\r\n[Desktop]\nSIZE=4000", "desktop", "size", "4000", {}},
        {"names and values lose their blanks", "[Info]\r\n VER = 2.0 \r\n", " Info ", "ver", "2.0", {2}},
        {"the first section and entry win", "[Info]\r\nVER=1\r\nVER=2\r\n[INFO]\r\nVER=3\r\n", "Info", "VER", "1", {}},
        {"quotes around a value go", "[Info]\r\nReadme=\"http://x/\"\r\n", "Info", "Readme", "http://x/", {}},
        {"a value holding a CR is missing", "[Info]\r\nVER=2.01\r0105\r\n", "Info", "VER", "", {2}},
        {"a value cut as ReadIni cuts it", "[Info]\r\nVER=" + longValue + "\r\n", "Info", "VER", longValue.substr(0, 511), {}},
        {"a header without ']'", "[Desktop\r\nSIZE=1\r\n", "Desktop", "SIZE", "1", {1}},
        {"blanks inside the brackets", "[ Desktop ]\r\nSIZE=1\r\n", "Desktop", "SIZE", "1", {1}},
        {"a tab before '='", "[Info]\r\nIssued\t=2026-12-07T10:00:00Z\r\n", "Info", "Issued", "2026-12-07T10:00:00Z", {2}},
        {"a line that starts with a tab or CR", "[Info]\r\n\tVER=1\r\n\rSIZE=2\r\n", "Info", "VER", "1", {2, 3}},
        {"a byte-order mark", "\xEF\xBB\xBF[Info]\r\nVER=1\r\n", "Info", "VER", "", {1}},
        {"a line that is nothing", "[Info]\r\nVER\r\n", "Info", "VER", "", {2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Catalogue catalogue(c.bytes);
        EXPECT_EQ(catalogue.Value(c.section, c.key), c.value);
        EXPECT_EQ(catalogue.IrregularLines(), c.irregular);
    }
}
