// novalink-reg, run as a program against the registry sandbox.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
        return testutil::Run(args, sandbox_.Environment(), 30);
    }
    // Runs novalink-reg with `answer` on its standard input, through the system's
    // shell from a file.
    RunResult RegAnswering(const std::string& answer, const std::vector<std::string>& args) {
        testutil::TempDir dir;
        testutil::WriteFile(dir / "answer", answer);
        // cmd takes no escaped quotes in its line: there the words go as they are
        // (none of them holds a blank).
        const std::string quote = testutil::kWindows ? "" : "'";
        std::string line = testutil::NativePath(testutil::BuildDir() + "/novalink-reg");
        for (const auto& a : args) line += " " + quote + a + quote;
        line += " <" + quote + testutil::NativePath(dir / "answer") + quote;
        if (testutil::kWindows) return testutil::Run({"cmd", "/c", line}, sandbox_.Environment(), 30);
        return testutil::Run({"/bin/sh", "-c", line}, sandbox_.Environment(), 30);
    }
    void Add(const std::string& key, const std::string& name, const std::string& type, const std::string& data) {
        RunResult r = Reg({"add", K(key), "/v", name, "/t", type, "/d", data, "/f"});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.out, "The operation completed successfully.\n");
    }
    std::string QueryValue(const std::string& key, const std::string& name) {
        RunResult r = Reg({"query", K(key), "/v", name});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return r.out;
    }
    // The key the program is given for what this process sees as `key`, and the
    // way the program shows it, root and all.
    std::string K(const std::string& key) const { return sandbox_.Key(key); }

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

    auto line = [&](const std::string& name, const std::string& kind, const std::string& data) {
        return "\n" + K(kLong) + "\n    " + name + "    " + kind + "    " + data + "\n\n";
    };
    EXPECT_EQ(QueryValue(kKey, "Path"), line("Path", "REG_SZ", "/opt/brightloom/bin/brightloom"));
    EXPECT_EQ(QueryValue(kKey, "TEMP"), line("Temp", "REG_EXPAND_SZ", "%TEMP%\\x"));
    EXPECT_EQ(QueryValue(kKey, "Count"), line("Count", "REG_DWORD", "0xffffffff"));
    EXPECT_EQ(QueryValue(kKey, "Flags"), line("Flags", "REG_DWORD", "0x1f"));
    EXPECT_EQ(QueryValue(kKey, "Blob"), line("Blob", "REG_BINARY", "00FF10AB"));
    EXPECT_EQ(QueryValue(kKey, "List"), line("List", "REG_MULTI_SZ", "a\\0b c\\0d"));

    // The whole key, values in the order they were made (Windows' order; Wine's
    // registry lists them sorted by name, which is named here).
    RunResult all = Reg({"query", K("hklm\\software\\brightloom")});
    ASSERT_EQ(all.exitCode, 0) << all.out;
    const std::string heading = "\n" + K("HKEY_LOCAL_MACHINE\\software\\brightloom") + "\n";
    const std::string path = "    Path    REG_SZ    /opt/brightloom/bin/brightloom\n";
    const std::string temp = "    Temp    REG_EXPAND_SZ    %TEMP%\\x\n";
    const std::string count = "    Count    REG_DWORD    0xffffffff\n";
    const std::string flags = "    Flags    REG_DWORD    0x1f\n";
    const std::string blob = "    Blob    REG_BINARY    00FF10AB\n";
    const std::string list = "    List    REG_MULTI_SZ    a\\0b c\\0d\n";
    const std::string written = heading + path + temp + count + flags + blob + list + "\n";
    if (!testutil::WineVersion().empty() && all.out != written) {
        EXPECT_EQ(all.out, heading + blob + count + flags + list + path + temp + "\n")
            << "Wine " << testutil::WineVersion() << " lists values in yet another order";
        std::printf("Wine %s: RegEnumValueA lists values sorted by name (Windows: in the order written)\n",
                    testutil::WineVersion().c_str());
    } else {
        EXPECT_EQ(all.out, written);
    }

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
              "\n" + K("HKEY_CURRENT_USER\\Software\\Brightloom") + "\n    Update    REG_DWORD    0x0\n\n");
    // A text that would set the terminal's title and clear it is shown, not obeyed.
    r.SetValueKey("Title");
    r.SetValueType(nl::cRegistry::PL_REG_SZ);
    r.SetValue(nl::Variant("\x1b]0;owned\x07\x1b[2J"));
    EXPECT_EQ(QueryValue("HKCU\\Software\\Brightloom", "Title"), "\n" + K("HKEY_CURRENT_USER\\Software\\Brightloom") +
                                                                    "\n    Title    REG_SZ    \\x1b]0;owned\\x07\\x1b[2J\n\n");
}

TEST_F(NovalinkReg, DefaultValueSubkeysAndSearch) {
    RunResult r = Reg({"add", K("HKCU\\Software\\Brightloom\\Sub"), "/ve", "/d", "dflt", "/f"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    Add("HKEY_CURRENT_USER\\Software\\Brightloom", "Update", "REG_DWORD", "1");
    ASSERT_EQ(Reg({"add", K("HKCU\\Software\\Brightloom\\Empty"), "/f"}).exitCode, 0);

    const std::string software = K("HKEY_CURRENT_USER\\Software");
    const std::string bl = K("HKEY_CURRENT_USER\\Software\\Brightloom");
    r = Reg({"query", K("HKCU\\Software\\Brightloom")});
    EXPECT_EQ(r.out, "\n" + bl + "\n    Update    REG_DWORD    0x1\n\n" + bl + "\\Empty\n" + bl + "\\Sub\n\n");
    r = Reg({"query", K("HKCU\\Software\\Brightloom\\Sub"), "/ve"});
    EXPECT_EQ(r.out, "\n" + bl + "\\Sub\n    (Default)    REG_SZ    dflt\n\n");
    r = Reg({"query", K("HKCU\\Software\\Brightloom\\Empty"), "/ve"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\n" + bl + "\\Empty\n    (Default)    REG_SZ    (value not set)\n\n");
    r = Reg({"query", K("HKCU\\Software"), "/s"});
    EXPECT_EQ(r.out, "\n" + software + "\n" +
                         "\n" + bl + "\n    Update    REG_DWORD    0x1\n" +
                         "\n" + bl + "\\Empty\n" +
                         "\n" + bl + "\\Sub\n    (Default)    REG_SZ    dflt\n");
    r = Reg({"query", K("HKCU"), "/v", "update", "/s"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\n" + bl + "\n    Update    REG_DWORD    0x1\n" + "End of search: 1 match(es) found.\n");
}

TEST_F(NovalinkReg, OverwriteAndDeleteAskUnlessForced) {
    Add(kKey, "Path", "REG_SZ", "old");
    RunResult r = RegAnswering("no\n", {"add", K(kKey), "/v", "Path", "/d", "new"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cancelled"), std::string::npos) << r.out;
    EXPECT_NE(QueryValue(kKey, "Path").find("    old\n"), std::string::npos);
    r = RegAnswering("yes\n", {"add", K(kKey), "/v", "Path", "/d", "new"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(QueryValue(kKey, "Path").find("    new\n"), std::string::npos);

    r = RegAnswering("", {"delete", K(kKey), "/v", "Path"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Reg({"delete", K(kKey), "/v", "Path", "/f"}).exitCode, 0);
    r = Reg({"query", K(kKey), "/v", "Path"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("ERROR: The system was unable to find the specified registry key or value."),
              std::string::npos);

    Add("HKLM\\Software\\Brightloom\\A\\B", "x", "REG_SZ", "y");
    EXPECT_EQ(Reg({"delete", K(kKey), "/f"}).exitCode, 0);  // the whole tree
    EXPECT_EQ(Reg({"query", K(kKey)}).exitCode, 1);
    EXPECT_EQ(Reg({"query", K("HKLM\\Software")}).exitCode, 0);
    // A root itself is refused before anything is touched: the real one is named.
    EXPECT_EQ(Reg({"delete", "HKLM", "/f"}).exitCode, 1);
    EXPECT_EQ(Reg({"delete", K(kKey), "/f"}).exitCode, 1);
}

TEST_F(NovalinkReg, BadInputFailsClearly) {
    const std::string key = K(kKey);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"query"},
        {"frob", key},
        {"query", "HKXX\\Software"},
        {"query", key, "/v"},
        {"query", key, "/t", "REG_SZ"},
        {"add", key, "/v", "n", "/t", "REG_DWORD", "/d", "12x", "/f"},
        {"add", key, "/v", "n", "/t", "REG_DWORD", "/d", "4294967296", "/f"},
        {"add", key, "/v", "n", "/t", "REG_BINARY", "/d", "ABC", "/f"},
        {"add", key, "/v", "n", "/t", "REG_BINARY", "/d", "zz", "/f"},
        {"add", key, "/v", "n", "/t", "REG_FOO", "/f"},
        {"add", key, "/v", "n", "/ve", "/f"},
    };
    for (const auto& args : bad) {
        RunResult r = Reg(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(r.exitCode, 1) << joined << r.out;
        EXPECT_NE(r.out.find("ERROR: "), std::string::npos) << joined << r.out;
    }
    // Nothing was written by any of them.
    EXPECT_EQ(Reg({"query", key}).exitCode, 1);
}

// Windows' depth limit, at the command line: refused at once, nothing written.
// Levels count from the root, the sandbox's own keys included.
TEST_F(NovalinkReg, KeysDeeperThan512LevelsAreRefused) {
    const std::string base = K("HKCU");
    const std::size_t baseLevels = static_cast<std::size_t>(std::count(base.begin(), base.end(), '\\'));
    auto deep = [&](std::size_t levels, const std::string& name) {
        std::string key = base;
        for (std::size_t i = baseLevels; i < levels; ++i) key += "\\" + name;
        return key;
    };
    // A Windows command line holds at most 32767 characters.
    for (std::size_t levels : {testutil::kWindows ? 10000u : 60000u, 513u}) {
        SCOPED_TRACE(levels);
        auto start = std::chrono::steady_clock::now();
        RunResult r = Reg({"add", deep(levels, "a"), "/f"});
        EXPECT_EQ(r.exitCode, 1) << r.out.substr(0, 300);
        EXPECT_NE(r.out.find("at most 512 levels"), std::string::npos) << r.out.substr(0, 300);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_TRUE(sandbox_.Empty("HKCU"));
    }
    // 512 levels of 16-character names: the whole tree lists in time linear in
    // its size (about 2 MB in the Linux store).
    const std::string key = deep(512, "sixteen-letters-");
    ASSERT_EQ(Reg({"add", key, "/v", "Last", "/d", "deepest", "/f"}).exitCode, 0);
    auto start = std::chrono::steady_clock::now();
    RunResult r = Reg({"query", base, "/s"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(r.exitCode, 0) << r.out.substr(0, 300);
    std::size_t keys = 0;
    for (std::size_t at = 0; (at = r.out.find("\nHKEY_CURRENT_USER", at)) != std::string::npos; ++at) ++keys;
    EXPECT_EQ(keys, 513u - baseLevels);
    EXPECT_NE(r.out.find("HKEY_CURRENT_USER" + key.substr(4) + "\n    Last    REG_SZ    deepest\n"), std::string::npos);
    r = Reg({"query", base, "/v", "last", "/s"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("End of search: 1 match(es) found."), std::string::npos);
}
