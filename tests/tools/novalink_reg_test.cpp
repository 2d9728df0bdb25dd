// novalink-reg, run as a program against a private store.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "support/cRegistry.h"
#include "tests/common/RegistrySandbox.h"

using testutil::RegistrySandbox;
using testutil::RunResult;

namespace {

class NovalinkReg : public testing::Test {
protected:
    RunResult Reg(std::vector<std::string> args) {
        args.insert(args.begin(), testutil::BuildDir() + "/novalink-reg");
        return testutil::Run(args, {sandbox_.EnvEntry()}, 30);
    }
    // Runs novalink-reg with `answer` on its standard input.
    RunResult RegAnswering(const std::string& answer, const std::string& args) {
        return testutil::Run({"/bin/sh", "-c", "printf '" + answer + "' | \"$0\" " + args,
                              testutil::BuildDir() + "/novalink-reg"},
                             {sandbox_.EnvEntry()}, 30);
    }
    void Add(const std::string& key, const std::string& name, const std::string& type, const std::string& data) {
        RunResult r = Reg({"add", key, "/v", name, "/t", type, "/d", data, "/f"});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.out, "The operation completed successfully.\n");
    }
    std::string QueryValue(const std::string& key, const std::string& name) {
        RunResult r = Reg({"query", key, "/v", name});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return r.out;
    }

    RegistrySandbox sandbox_;
};

const char kKey[] = "HKLM\\Software\\Brightloom";
const char kLong[] = "HKEY_LOCAL_MACHINE\\Software\\Brightloom";

}  // namespace

TEST_F(NovalinkReg, RoundTripsEveryKind) {
    Add(kKey, "Path", "REG_SZ", "/opt/brightloom/bin/brightloom");
    Add(kKey, "Temp", "REG_EXPAND_SZ", "%TEMP%\\x");
    Add(kKey, "Count", "REG_DWORD", "4294967295");
    Add(kKey, "Flags", "REG_DWORD", "0x1F");
    Add(kKey, "Blob", "REG_BINARY", "00ff10Ab");
    Add(kKey, "List", "REG_MULTI_SZ", "a\\0b c\\0d");

    auto line = [](const std::string& name, const std::string& kind, const std::string& data) {
        return std::string("\n") + kLong + "\n    " + name + "    " + kind + "    " + data + "\n\n";
    };
    EXPECT_EQ(QueryValue(kKey, "Path"), line("Path", "REG_SZ", "/opt/brightloom/bin/brightloom"));
    EXPECT_EQ(QueryValue(kKey, "TEMP"), line("Temp", "REG_EXPAND_SZ", "%TEMP%\\x"));
    EXPECT_EQ(QueryValue(kKey, "Count"), line("Count", "REG_DWORD", "0xffffffff"));
    EXPECT_EQ(QueryValue(kKey, "Flags"), line("Flags", "REG_DWORD", "0x1f"));
    EXPECT_EQ(QueryValue(kKey, "Blob"), line("Blob", "REG_BINARY", "00FF10AB"));
    EXPECT_EQ(QueryValue(kKey, "List"), line("List", "REG_MULTI_SZ", "a\\0b c\\0d"));

    // The whole key, values in the order they were made.
    RunResult all = Reg({"query", "hklm\\software\\brightloom"});
    ASSERT_EQ(all.exitCode, 0) << all.out;
    EXPECT_EQ(all.out, std::string("\nHKEY_LOCAL_MACHINE\\software\\brightloom\n") +
                           "    Path    REG_SZ    /opt/brightloom/bin/brightloom\n"
                           "    Temp    REG_EXPAND_SZ    %TEMP%\\x\n"
                           "    Count    REG_DWORD    0xffffffff\n"
                           "    Flags    REG_DWORD    0x1f\n"
                           "    Blob    REG_BINARY    00FF10AB\n"
                           "    List    REG_MULTI_SZ    a\\0b c\\0d\n\n");

    // The product reads what the tool wrote.
    nl::cRegistry r;
    r.SetClassKey(nl::cRegistry::PL_HKEY_LOCAL_MACHINE);
    r.SetSectionKey("Software\\Brightloom");
    r.SetValueKey("Path");
    r.SetValueType(nl::cRegistry::PL_REG_SZ);
    EXPECT_EQ(r.Value(), nl::Variant("/opt/brightloom/bin/brightloom"));
    r.SetValueKey("Temp");
    EXPECT_EQ(r.Value(), nl::Variant("%TEMP%\\x"));
    r.SetValueKey("Count");
    EXPECT_EQ(r.Value(), nl::Variant(std::int32_t{-1}));
    r.SetValueKey("Blob");
    EXPECT_EQ(r.Value(), nl::Variant(nl::ByteArray{{0x00, 0xFF, 0x10, 0xAB, 0x00}, 0}));
}

TEST_F(NovalinkReg, ShowsWhatTheProductWrote) {
    nl::cRegistry r;
    r.SetClassKey(nl::cRegistry::PL_HKEY_CURRENT_USER);
    r.SetSectionKey("Software\\Brightloom");
    r.SetValueKey("Update");
    r.SetValueType(nl::cRegistry::PL_REG_DWORD);
    r.SetValue(nl::Variant(std::int32_t{0}));
    EXPECT_EQ(QueryValue("HKCU\\Software\\Brightloom", "Update"),
              "\nHKEY_CURRENT_USER\\Software\\Brightloom\n    Update    REG_DWORD    0x0\n\n");
}

TEST_F(NovalinkReg, DefaultValueSubkeysAndSearch) {
    RunResult r = Reg({"add", "HKCU\\Software\\Brightloom\\Sub", "/ve", "/d", "dflt", "/f"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    Add("HKEY_CURRENT_USER\\Software\\Brightloom", "Update", "REG_DWORD", "1");
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Brightloom\\Empty", "/f"}).exitCode, 0);

    r = Reg({"query", "HKCU\\Software\\Brightloom"});
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Brightloom\n    Update    REG_DWORD    0x1\n\n"
                     "HKEY_CURRENT_USER\\Software\\Brightloom\\Empty\n"
                     "HKEY_CURRENT_USER\\Software\\Brightloom\\Sub\n\n");
    r = Reg({"query", "HKCU\\Software\\Brightloom\\Sub", "/ve"});
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Brightloom\\Sub\n    (Default)    REG_SZ    dflt\n\n");
    r = Reg({"query", "HKCU\\Software\\Brightloom\\Empty", "/ve"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "\nHKEY_CURRENT_USER\\Software\\Brightloom\\Empty\n    (Default)    REG_SZ    (value not set)\n\n");
    r = Reg({"query", "HKCU\\Software", "/s"});
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\n"
                     "\nHKEY_CURRENT_USER\\Software\\Brightloom\n    Update    REG_DWORD    0x1\n"
                     "\nHKEY_CURRENT_USER\\Software\\Brightloom\\Empty\n"
                     "\nHKEY_CURRENT_USER\\Software\\Brightloom\\Sub\n    (Default)    REG_SZ    dflt\n");
    r = Reg({"query", "HKCU", "/v", "update", "/s"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Brightloom\n    Update    REG_DWORD    0x1\n"
                     "End of search: 1 match(es) found.\n");
}

TEST_F(NovalinkReg, OverwriteAndDeleteAskUnlessForced) {
    Add(kKey, "Path", "REG_SZ", "old");
    RunResult r = RegAnswering("no\\n", "add 'HKLM\\Software\\Brightloom' /v Path /d new");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cancelled"), std::string::npos) << r.out;
    EXPECT_NE(QueryValue(kKey, "Path").find("    old\n"), std::string::npos);
    r = RegAnswering("yes\\n", "add 'HKLM\\Software\\Brightloom' /v Path /d new");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(QueryValue(kKey, "Path").find("    new\n"), std::string::npos);

    r = RegAnswering("", "delete 'HKLM\\Software\\Brightloom' /v Path");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Reg({"delete", kKey, "/v", "Path", "/f"}).exitCode, 0);
    r = Reg({"query", kKey, "/v", "Path"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("ERROR: The system was unable to find the specified registry key or value."),
              std::string::npos);

    Add("HKLM\\Software\\Brightloom\\A\\B", "x", "REG_SZ", "y");
    EXPECT_EQ(Reg({"delete", kKey, "/f"}).exitCode, 0);  // the whole tree
    EXPECT_EQ(Reg({"query", kKey}).exitCode, 1);
    EXPECT_EQ(Reg({"query", "HKLM\\Software"}).exitCode, 0);
    EXPECT_EQ(Reg({"delete", "HKLM", "/f"}).exitCode, 1);
    EXPECT_EQ(Reg({"delete", kKey, "/f"}).exitCode, 1);
}

TEST_F(NovalinkReg, BadInputFailsClearly) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"query"},
        {"frob", kKey},
        {"query", "HKXX\\Software"},
        {"query", kKey, "/v"},
        {"query", kKey, "/t", "REG_SZ"},
        {"add", kKey, "/v", "n", "/t", "REG_DWORD", "/d", "12x", "/f"},
        {"add", kKey, "/v", "n", "/t", "REG_DWORD", "/d", "4294967296", "/f"},
        {"add", kKey, "/v", "n", "/t", "REG_BINARY", "/d", "ABC", "/f"},
        {"add", kKey, "/v", "n", "/t", "REG_BINARY", "/d", "zz", "/f"},
        {"add", kKey, "/v", "n", "/t", "REG_FOO", "/f"},
        {"add", kKey, "/v", "n", "/ve", "/f"},
    };
    for (const auto& args : bad) {
        RunResult r = Reg(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(r.exitCode, 1) << joined << r.out;
        EXPECT_NE(r.out.find("ERROR: "), std::string::npos) << joined << r.out;
    }
    // Nothing was written by any of them.
    EXPECT_EQ(Reg({"query", kKey}).exitCode, 1);
}

TEST_F(NovalinkReg, DamagedStoreIsReportedAndKept) {
    Add(kKey, "Path", "REG_SZ", "/opt/bl");
    std::string text = testutil::ReadFile(sandbox_.File("HKLM"));
    std::string damaged = text.substr(0, text.size() / 2);
    testutil::WriteFile(sandbox_.File("HKLM"), damaged);
    RunResult r = Reg({"query", kKey, "/v", "Path"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("damaged"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(sandbox_.File("HKLM")), std::string::npos) << r.out;
    r = Reg({"add", kKey, "/v", "Path", "/d", "/new", "/f"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(testutil::ReadFile(sandbox_.File("HKLM")), damaged);
    // Other roots still work.
    Add("HKCU\\Software\\Brightloom", "Update", "REG_DWORD", "0");
}

// Windows' depth limit, at the command line: refused at once, nothing written.
TEST_F(NovalinkReg, KeysDeeperThan512LevelsAreRefused) {
    auto deep = [](std::size_t levels, const std::string& name) {
        std::string key = "HKCU";
        for (std::size_t i = 0; i < levels; ++i) key += "\\" + name;
        return key;
    };
    for (std::size_t levels : {60000u, 513u}) {
        SCOPED_TRACE(levels);
        auto start = std::chrono::steady_clock::now();
        RunResult r = Reg({"add", deep(levels, "a"), "/f"});
        EXPECT_EQ(r.exitCode, 1) << r.out.substr(0, 300);
        EXPECT_NE(r.out.find("at most 512 levels"), std::string::npos) << r.out.substr(0, 300);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_FALSE(testutil::Exists(sandbox_.File("HKCU")));
    }
    // 512 levels of 16-character names: the whole tree lists in time linear in
    // the store's size (about 2 MB here).
    const std::string key = deep(512, "sixteen-letters-");
    ASSERT_EQ(Reg({"add", key, "/v", "Last", "/d", "deepest", "/f"}).exitCode, 0);
    auto start = std::chrono::steady_clock::now();
    RunResult r = Reg({"query", "HKCU", "/s"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(r.exitCode, 0) << r.out.substr(0, 300);
    std::size_t keys = 0;
    for (std::size_t at = 0; (at = r.out.find("\nHKEY_CURRENT_USER", at)) != std::string::npos; ++at) ++keys;
    EXPECT_EQ(keys, 513u);
    EXPECT_NE(r.out.find("HKEY_CURRENT_USER" + key.substr(4) + "\n    Last    REG_SZ    deepest\n"), std::string::npos);
    r = Reg({"query", "HKCU", "/v", "last", "/s"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("End of search: 1 match(es) found."), std::string::npos);
}
