#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/posix/RegistryFile.h"
#include "platform/posix/RegistryHive.h"
#include "tests/common/RegistrySandbox.h"

using namespace plat;
using testutil::ReadFile;
using testutil::RegistrySandbox;
using testutil::WriteFile;

namespace {

// A key handle closed at the end of the scope.
struct Key {
    HKEY h = 0;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

LONG Create(HKEY parent, const char* path, Key& key, DWORD* disposition = nullptr, REGSAM sam = PL_KEY_ALL_ACCESS) {
    return RegCreateKeyExA(parent, path, 0, nullptr, PL_REG_OPTION_NON_VOLATILE, sam, nullptr, &key.h, disposition);
}

LONG Set(HKEY key, const char* name, DWORD type, const std::string& data) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
}

// Reads a whole value; the result code of the read in *rc.
std::string Get(HKEY key, const char* name, DWORD* type = nullptr, LONG* rc = nullptr) {
    DWORD size = 0;
    LONG r = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    std::string data(size, '\0');
    if (r == PL_ERROR_SUCCESS) r = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc) *rc = r;
    return r == PL_ERROR_SUCCESS ? data.substr(0, size) : std::string();
}

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> out;
    char name[256];
    DWORD cch = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == PL_ERROR_SUCCESS; ++i) {
        out.emplace_back(name, cch);
        cch = sizeof name;
    }
    return out;
}

std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> out;
    char name[256];
    DWORD cch = sizeof name;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == PL_ERROR_SUCCESS; ++i) {
        out.emplace_back(name, cch);
        cch = sizeof name;
    }
    return out;
}

// Kills and reaps a child process that a failed assertion left running.
struct ChildGuard {
    pid_t pid;
    ~ChildGuard() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

std::uint32_t ReadCounter(LONG* rc) {
    Key k;
    *rc = RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software\\Brightloom", 0, PL_KEY_QUERY_VALUE, &k.h);
    if (*rc) return 0;
    std::uint32_t v = 0;
    DWORD cb = 4;
    *rc = RegQueryValueExA(k.h, "Counter", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &cb);
    return v;
}

}  // namespace

TEST(RegistryKeys, NamesIgnoreCaseButKeepIt) {
    RegistrySandbox sandbox;
    Key a, b, c;
    DWORD disposition = 0;
    ASSERT_EQ(Create(PL_HKEY_LOCAL_MACHINE, "Software\\Brightloom", a, &disposition), PL_ERROR_SUCCESS);
    EXPECT_EQ(disposition, PL_REG_CREATED_NEW_KEY);
    ASSERT_EQ(Create(PL_HKEY_LOCAL_MACHINE, "SOFTWARE\\brightLOOM", b, &disposition), PL_ERROR_SUCCESS);
    EXPECT_EQ(disposition, PL_REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_LOCAL_MACHINE, "software", 0, PL_KEY_READ, &c.h), PL_ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(c.h), std::vector<std::string>{"Brightloom"});

    ASSERT_EQ(Set(a.h, "Path", PL_REG_SZ, "one"), PL_ERROR_SUCCESS);
    ASSERT_EQ(Set(b.h, "PATH", PL_REG_SZ, "two"), PL_ERROR_SUCCESS);  // replaces, keeps the first spelling
    EXPECT_EQ(ValueNames(a.h), std::vector<std::string>{"Path"});
    EXPECT_EQ(Get(a.h, "pAtH"), "two");
}

TEST(RegistryKeys, CreateOpenDeleteRules) {
    RegistrySandbox sandbox;
    Key k, missing, bad, same;
    ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "A\\B\\C\\", k), PL_ERROR_SUCCESS);  // parents made, trailing "\" allowed
    EXPECT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "A\\X", 0, PL_KEY_READ, &missing.h), PL_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing.h, 0u);
    EXPECT_EQ(Create(PL_HKEY_CURRENT_USER, "\\A", bad), PL_ERROR_BAD_PATHNAME);
    EXPECT_EQ(Create(PL_HKEY_CURRENT_USER, "A\\\\B", bad), PL_ERROR_BAD_PATHNAME);
    EXPECT_EQ(Create(PL_HKEY_CURRENT_USER, std::string(256, 'n').c_str(), bad), PL_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(PL_HKEY_CURRENT_USER, std::string(255, 'n').c_str(), bad), PL_ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(PL_HKEY_CURRENT_USER, "V", 0, nullptr, 1 /* volatile */, PL_KEY_ALL_ACCESS, nullptr, &bad.h,
                             nullptr),
              PL_ERROR_INVALID_PARAMETER);

    // NULL and "" open the key itself.
    ASSERT_EQ(RegOpenKeyExA(k.h, nullptr, 0, PL_KEY_ALL_ACCESS, &same.h), PL_ERROR_SUCCESS);
    ASSERT_EQ(Set(same.h, "v", PL_REG_SZ, "x"), PL_ERROR_SUCCESS);
    EXPECT_EQ(Get(k.h, "v"), "x");

    // A key with subkeys cannot be deleted, nor can a root.
    EXPECT_EQ(RegDeleteKeyA(PL_HKEY_CURRENT_USER, "A\\B"), PL_ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(PL_HKEY_CURRENT_USER, ""), PL_ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(PL_HKEY_CURRENT_USER, "A\\B\\Nope"), PL_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(PL_HKEY_CURRENT_USER, "a\\b\\c"), PL_ERROR_SUCCESS);
    // Handles on a deleted key report it.
    EXPECT_EQ(Set(k.h, "v", PL_REG_SZ, "y"), PL_ERROR_KEY_DELETED);
    EXPECT_EQ(Get(k.h, "v", nullptr, nullptr), "");
    LONG rc = 0;
    Get(same.h, "v", nullptr, &rc);
    EXPECT_EQ(rc, PL_ERROR_KEY_DELETED);

    EXPECT_EQ(RegDeleteTreeA(PL_HKEY_CURRENT_USER, "A"), PL_ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "A", 0, PL_KEY_READ, &missing.h), PL_ERROR_FILE_NOT_FOUND);

    // Handles: roots close without harm; unknown handles are refused.
    EXPECT_EQ(RegCloseKey(PL_HKEY_CURRENT_USER), PL_ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(0x12345), PL_ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(0, "A", 0, PL_KEY_READ, &missing.h), PL_ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(RootKeyFromLong(static_cast<LONG>(0x80000005u)), "", 0, PL_KEY_READ, &missing.h),
              PL_ERROR_INVALID_HANDLE);
    // The 32-bit form of a root works as well as the sign-extended one.
    Key zeroExtended;
    EXPECT_EQ(Create(static_cast<HKEY>(0x80000001u), "Z", zeroExtended), PL_ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(zeroExtended.h), PL_ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(zeroExtended.h), PL_ERROR_INVALID_HANDLE);
    zeroExtended.h = 0;
}

TEST(RegistryValues, QueryBufferRules) {
    RegistrySandbox sandbox;
    Key k;
    ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "Software\\Brightloom", k), PL_ERROR_SUCCESS);
    ASSERT_EQ(Set(k.h, "Path", PL_REG_SZ, std::string("C:\\Prog\\app.exe\0", 16)), PL_ERROR_SUCCESS);

    DWORD type = 99, size = 0;
    EXPECT_EQ(RegQueryValueExA(k.h, "Path", nullptr, &type, nullptr, &size), PL_ERROR_SUCCESS);
    EXPECT_EQ(type, PL_REG_SZ);
    EXPECT_EQ(size, 16u);

    char small[8];
    std::memset(small, 'Z', sizeof small);
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(k.h, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size), PL_ERROR_MORE_DATA);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(std::string(small, 8), std::string(8, 'Z'));  // left as it was

    char exact[16];
    size = sizeof exact;
    EXPECT_EQ(RegQueryValueExA(k.h, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size), PL_ERROR_SUCCESS);
    EXPECT_STREQ(exact, "C:\\Prog\\app.exe");

    EXPECT_EQ(RegQueryValueExA(k.h, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), nullptr),
              PL_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(k.h, "Nope", nullptr, nullptr, nullptr, &size), PL_ERROR_FILE_NOT_FOUND);
    // The default value: NULL and "" are the same name, and it is absent until set.
    EXPECT_EQ(RegQueryValueExA(k.h, nullptr, nullptr, nullptr, nullptr, &size), PL_ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Set(k.h, nullptr, PL_REG_SZ, "d"), PL_ERROR_SUCCESS);
    EXPECT_EQ(Get(k.h, ""), "d");
    // A value without data.
    ASSERT_EQ(Set(k.h, "Empty", PL_REG_BINARY, ""), PL_ERROR_SUCCESS);
    size = 5;
    EXPECT_EQ(RegQueryValueExA(k.h, "Empty", nullptr, &type, reinterpret_cast<BYTE*>(exact), &size), PL_ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(RegSetValueExA(k.h, "Bad", 0, PL_REG_BINARY, nullptr, 4), PL_ERROR_NOACCESS);

    EXPECT_EQ(RegDeleteValueA(k.h, "PATH"), PL_ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(k.h, "Path"), PL_ERROR_FILE_NOT_FOUND);
}

TEST(RegistryValues, EveryKindAndByteIsKept) {
    RegistrySandbox sandbox;
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes += static_cast<char>(i);
    const std::vector<DWORD> kinds = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x12345678u, 0xFFFFFFFFu};
    const std::string odd = "Key \"with\" [odd] %20 \xC3\xA9 name";
    const std::vector<std::string> names = {"plain", "with \"quotes\" and \\ and %TEMP%", "\x01\x7F\xFF end", "@", " lead"};
    {
        Key k;
        ASSERT_EQ(Create(PL_HKEY_USERS, ("S-1\\" + odd).c_str(), k), PL_ERROR_SUCCESS);
        for (DWORD kind : kinds) ASSERT_EQ(Set(k.h, ("kind" + std::to_string(kind)).c_str(), kind, allBytes), 0);
        for (const auto& n : names) ASSERT_EQ(Set(k.h, n.c_str(), PL_REG_SZ, n + '\0' + "tail"), 0);
    }
    // A fresh handle reads everything back from the file.
    Key k;
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_USERS, ("s-1\\" + odd).c_str(), 0, PL_KEY_READ, &k.h), PL_ERROR_SUCCESS);
    for (DWORD kind : kinds) {
        DWORD type = 0;
        EXPECT_EQ(Get(k.h, ("kind" + std::to_string(kind)).c_str(), &type), allBytes) << kind;
        EXPECT_EQ(type, kind);
    }
    for (const auto& n : names) EXPECT_EQ(Get(k.h, n.c_str()), n + '\0' + "tail") << n;
    Key parent;
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_USERS, "S-1", 0, PL_KEY_READ, &parent.h), PL_ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(parent.h), std::vector<std::string>{odd});

    // The file is plain text a person can read.
    std::string text = ReadFile(sandbox.File("HKU"));
    EXPECT_EQ(text.rfind("NOVALINK REGISTRY 1 HKEY_USERS\n", 0), 0u);
    EXPECT_NE(text.find("\"plain\" = sz \"plain\\x00tail\"\n"), std::string::npos) << text;
    for (char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F));
}

TEST(RegistryEnumeration, OrderAndBufferRules) {
    RegistrySandbox sandbox;
    Key k;
    ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "E", k), PL_ERROR_SUCCESS);
    for (const char* sub : {"b", "A", "c", "B2"}) {
        Key s;
        ASSERT_EQ(Create(k.h, sub, s), PL_ERROR_SUCCESS);
    }
    EXPECT_EQ(SubkeyNames(k.h), (std::vector<std::string>{"A", "b", "B2", "c"}));
    for (const char* v : {"zeta", "Alpha", "mid"}) ASSERT_EQ(Set(k.h, v, PL_REG_DWORD, std::string(4, '\0')), 0);
    ASSERT_EQ(Set(k.h, "ZETA", PL_REG_SZ, "again"), 0);  // replacing keeps the place
    EXPECT_EQ(ValueNames(k.h), (std::vector<std::string>{"zeta", "Alpha", "mid"}));
    ASSERT_EQ(RegDeleteValueA(k.h, "alpha"), 0);
    EXPECT_EQ(ValueNames(k.h), (std::vector<std::string>{"zeta", "mid"}));

    // The name buffer counts the terminating NUL.
    char name[8];
    DWORD cch = 4;  // "zeta" needs 5
    EXPECT_EQ(RegEnumValueA(k.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), PL_ERROR_MORE_DATA);
    cch = 5;
    EXPECT_EQ(RegEnumValueA(k.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), PL_ERROR_SUCCESS);
    EXPECT_EQ(cch, 4u);
    EXPECT_STREQ(name, "zeta");
    cch = 1;
    EXPECT_EQ(RegEnumKeyExA(k.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), PL_ERROR_MORE_DATA);
    cch = 2;
    EXPECT_EQ(RegEnumKeyExA(k.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), PL_ERROR_SUCCESS);
    EXPECT_STREQ(name, "A");
    // Data through the enumeration follow the query's rules.
    DWORD type = 0, cb = 2;
    cch = sizeof name;
    BYTE data[8];
    EXPECT_EQ(RegEnumValueA(k.h, 0, name, &cch, nullptr, &type, data, &cb), PL_ERROR_MORE_DATA);
    EXPECT_EQ(cb, 5u);
    EXPECT_EQ(type, PL_REG_SZ);
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(k.h, 2, name, &cch, nullptr, nullptr, nullptr, nullptr), PL_ERROR_NO_MORE_ITEMS);
    cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(k.h, 4, name, &cch, nullptr, nullptr, nullptr, nullptr), PL_ERROR_NO_MORE_ITEMS);
}

TEST(RegistryAccess, HandlesKeepTheirRights) {
    RegistrySandbox sandbox;
    {
        Key k;
        ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "R\\Sub", k), PL_ERROR_SUCCESS);
        ASSERT_EQ(Set(k.h, "v", PL_REG_SZ, "x"), PL_ERROR_SUCCESS);
    }
    Key query, set, sub;
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "R\\Sub", 0, PL_KEY_QUERY_VALUE, &query.h), PL_ERROR_SUCCESS);
    EXPECT_EQ(Set(query.h, "v", PL_REG_SZ, "y"), PL_ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(query.h, "v"), PL_ERROR_ACCESS_DENIED);
    EXPECT_EQ(Get(query.h, "v"), "x");
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "R\\Sub", 0, PL_KEY_SET_VALUE, &set.h), PL_ERROR_SUCCESS);
    LONG rc = 0;
    Get(set.h, "v", nullptr, &rc);
    EXPECT_EQ(rc, PL_ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "R", 0, PL_KEY_QUERY_VALUE, &sub.h), PL_ERROR_SUCCESS);
    char name[8];
    DWORD cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(sub.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), PL_ERROR_ACCESS_DENIED);
    Key child;
    EXPECT_EQ(Create(sub.h, "New", child), PL_ERROR_ACCESS_DENIED);  // no PL_KEY_CREATE_SUB_KEY
}

TEST(RegistryStore, RootsAreSeparateFiles) {
    RegistrySandbox sandbox;
    Key a, b;
    ASSERT_EQ(Create(PL_HKEY_CLASSES_ROOT, ".dmd", a), PL_ERROR_SUCCESS);
    ASSERT_EQ(Create(PL_HKEY_LOCAL_MACHINE, "SOFTWARE", b), PL_ERROR_SUCCESS);
    EXPECT_TRUE(testutil::Exists(sandbox.File("HKCR")));
    EXPECT_TRUE(testutil::Exists(sandbox.File("HKLM")));
    EXPECT_FALSE(testutil::Exists(sandbox.File("HKCU")));
    Key none;
    EXPECT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, ".dmd", 0, PL_KEY_READ, &none.h), PL_ERROR_FILE_NOT_FOUND);
}

TEST(RegistryStore, UnwritableRootRefusesChangesButReads) {
    RegistrySandbox sandbox;
    {
        Key k;
        ASSERT_EQ(Create(PL_HKEY_LOCAL_MACHINE, "Software\\Brightloom", k), PL_ERROR_SUCCESS);
        ASSERT_EQ(Set(k.h, "Path", PL_REG_SZ, "/opt/bl"), PL_ERROR_SUCCESS);
    }
    const std::string before = ReadFile(sandbox.File("HKLM"));
    std::string failure = testutil::RunWithoutWriteAccess(sandbox.Folder(), [] () -> std::string {
        Key read, write, fresh, open;
        if (RegOpenKeyExA(PL_HKEY_LOCAL_MACHINE, "Software\\Brightloom", 0, PL_KEY_QUERY_VALUE, &read.h) != 0)
            return "the key could not be opened for reading";
        if (Get(read.h, "Path") != "/opt/bl") return "the value could not be read";
        if (RegOpenKeyExA(PL_HKEY_LOCAL_MACHINE, "Software\\Brightloom", 0, 0x3F, &open.h) != PL_ERROR_ACCESS_DENIED)
            return "opening for writing was not refused";
        if (Create(PL_HKEY_LOCAL_MACHINE, "Software\\Brightloom", write, nullptr, 0x3F) != PL_ERROR_ACCESS_DENIED)
            return "creating an existing key for writing was not refused";
        if (Create(PL_HKEY_LOCAL_MACHINE, "Software\\Other", fresh) != PL_ERROR_ACCESS_DENIED)
            return "creating a new key was not refused";
        if (Set(PL_HKEY_LOCAL_MACHINE, "x", PL_REG_SZ, "y") != PL_ERROR_ACCESS_DENIED) return "a write was not refused";
        if (RegDeleteKeyA(PL_HKEY_LOCAL_MACHINE, "Software\\Brightloom") != PL_ERROR_ACCESS_DENIED)
            return "a deletion was not refused";
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(ReadFile(sandbox.File("HKLM")), before);
}

TEST(RegistryStore, DamagedFileIsReportedAndNeverOverwritten) {
    RegistrySandbox sandbox;
    {
        Key k;
        ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "Software\\Brightloom", k), PL_ERROR_SUCCESS);
        ASSERT_EQ(Set(k.h, "Update", PL_REG_DWORD, std::string("\1\0\0\0", 4)), PL_ERROR_SUCCESS);
        Key other;
        ASSERT_EQ(Create(PL_HKEY_LOCAL_MACHINE, "Software", other), PL_ERROR_SUCCESS);
    }
    const std::string good = ReadFile(sandbox.File("HKCU"));
    std::string flipped = good;
    flipped[flipped.find("01000000")] = '2';
    std::string edited = good;  // a hand edit with the old checksum
    edited.insert(edited.find("[Software]"), "[Extra]\n");
    const std::vector<std::pair<std::string, std::string>> damages = {
        {"cut off", good.substr(0, good.size() - 5)},
        {"cut in the middle", good.substr(0, good.size() / 2)},
        {"one byte changed", flipped},
        {"edited by hand", edited},
        {"empty", ""},
        {"not a registry file", "hello\n"},
    };
    for (const auto& [what, content] : damages) {
        SCOPED_TRACE(what);
        WriteFile(sandbox.File("HKCU"), content);
        testing::internal::CaptureStderr();
        Key k, c;
        EXPECT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software\\Brightloom", 0, PL_KEY_READ, &k.h), PL_ERROR_BADDB);
        EXPECT_EQ(Create(PL_HKEY_CURRENT_USER, "Software\\New", c), PL_ERROR_BADDB);
        EXPECT_EQ(RegSetValueExA(PL_HKEY_CURRENT_USER, "v", 0, PL_REG_SZ, reinterpret_cast<const BYTE*>("x"), 1),
                  PL_ERROR_BADDB);
        EXPECT_EQ(RegDeleteTreeA(PL_HKEY_CURRENT_USER, nullptr), PL_ERROR_BADDB);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("damaged"), std::string::npos) << err;
        EXPECT_NE(err.find(sandbox.File("HKCU")), std::string::npos) << err;
        EXPECT_EQ(ReadFile(sandbox.File("HKCU")), content);
        // The other roots are unaffected.
        Key lm;
        EXPECT_EQ(RegOpenKeyExA(PL_HKEY_LOCAL_MACHINE, "Software", 0, PL_KEY_READ, &lm.h), PL_ERROR_SUCCESS);
    }
    // Once repaired, the store works again.
    WriteFile(sandbox.File("HKCU"), good);
    Key k;
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software\\Brightloom", 0, PL_KEY_READ, &k.h), PL_ERROR_SUCCESS);
    EXPECT_EQ(Get(k.h, "Update"), std::string("\1\0\0\0", 4));
}

// A writer killed at random moments, many times: the store stays readable and holds
// the value written last or the one being written.
TEST(RegistryStore, KillDuringWritesKeepsOldOrNewValue) {
    RegistrySandbox sandbox;
    const std::string blob(64 * 1024, '\x5A');  // makes every write take a while
    Key setup;
    ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "Software\\Brightloom", setup), PL_ERROR_SUCCESS);
    ASSERT_EQ(Set(setup.h, "Path", PL_REG_SZ, "/opt/brightloom"), PL_ERROR_SUCCESS);
    ASSERT_EQ(Set(setup.h, "Blob", PL_REG_BINARY, blob), PL_ERROR_SUCCESS);
    // How long one write takes here (sanitizers make it much slower).
    auto start = std::chrono::steady_clock::now();
    for (char i = 4; i >= 1; --i) ASSERT_EQ(Set(setup.h, "Counter", PL_REG_DWORD, std::string(4, i - 1)), 0);
    const auto writeUs = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count() / 4;

    // Watches the folder for the writer's temporary file.
    int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, sandbox.Folder().c_str(), IN_CREATE | IN_MODIFY), 0);

    std::mt19937 rng(12345);
    std::uint32_t committed = 0;
    int leftTemporaries = 0, midWrite = 0, finishedWrites = 0;
    const int kRounds = 40;
    for (int round = 0; round < kRounds; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        ChildGuard guard{pid};
        if (pid == 0) {
            close(fds[0]);
            Key k;
            if (RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software\\Brightloom", 0, PL_KEY_ALL_ACCESS, &k.h) != 0) _exit(2);
            for (std::uint32_t i = committed + 1;; ++i) {
                // Tells the parent when each write begins and when it has ended.
                std::uint32_t begin[2] = {i, 0}, end[2] = {i, 1};
                if (write(fds[1], begin, sizeof begin) != sizeof begin) _exit(3);
                std::string data(reinterpret_cast<const char*>(&i), 4);
                if (Set(k.h, "Counter", PL_REG_DWORD, data) != 0) _exit(4);
                if (write(fds[1], end, sizeof end) != sizeof end) _exit(3);
            }
        }
        close(fds[1]);
        std::uint32_t msg[2];
        ASSERT_EQ(read(fds[0], msg, sizeof msg), static_cast<ssize_t>(sizeof msg));
        std::uint32_t begun = msg[0], done = committed;
        if (round % 2 == 0) {
            // Kill somewhere within the next few writes.
            usleep(static_cast<useconds_t>(std::uniform_int_distribution<long>(0, 3 * writeUs)(rng)));
        } else {
            // Kill just after the writer has begun to write a file: while it is
            // written, synced or renamed.
            char events[4096];
            while (read(watch, events, sizeof events) > 0) {
            }
            pollfd p{watch, POLLIN, 0};
            ASSERT_EQ(poll(&p, 1, 10000), 1) << "the writer wrote nothing";
            usleep(static_cast<useconds_t>(std::uniform_int_distribution<long>(0, 400)(rng)));
        }
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        guard.pid = -1;
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
        while (read(fds[0], msg, sizeof msg) == sizeof msg) (msg[1] ? done : begun) = msg[0];
        close(fds[0]);

        for (const auto& e : std::filesystem::directory_iterator(sandbox.Folder()))
            if (e.path().filename().string().find(".new-") != std::string::npos) ++leftTemporaries;
        LONG rc = 0;
        std::uint32_t now = ReadCounter(&rc);
        ASSERT_EQ(rc, PL_ERROR_SUCCESS) << "round " << round;
        if (begun > done) {
            // Killed inside a write: the old value or the new one.
            ASSERT_TRUE(now == done || now == begun) << "round " << round << ": stored " << now << ", writing " << begun;
            ++midWrite;
        } else {
            ASSERT_EQ(now, done) << "round " << round;
        }
        if (done > committed) ++finishedWrites;
        committed = now;
        Key k;
        ASSERT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software\\Brightloom", 0, PL_KEY_READ, &k.h), 0);
        ASSERT_EQ(Get(k.h, "Path"), "/opt/brightloom");
        ASSERT_EQ(Get(k.h, "Blob"), blob);
    }
    close(watch);
    // Kills must have hit writes in progress, and writes must have finished in
    // between, or the test proves little.
    EXPECT_GT(leftTemporaries, 0);
    EXPECT_GT(midWrite, kRounds / 2);
    EXPECT_GT(finishedWrites, 0);
    // The next change clears what killed writers left behind.
    Key k;
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software\\Brightloom", 0, PL_KEY_ALL_ACCESS, &k.h), 0);
    ASSERT_EQ(Set(k.h, "Done", PL_REG_SZ, "yes"), 0);
    for (const auto& e : std::filesystem::directory_iterator(sandbox.Folder()))
        EXPECT_EQ(e.path().filename().string().find(".new-"), std::string::npos) << e.path();
}

// Two processes writing different values into the same key at once lose nothing.
TEST(RegistryStore, ConcurrentWritersLoseNothing) {
    RegistrySandbox sandbox;
    const int kPerWriter = 80;
    std::vector<pid_t> pids;
    for (char writer : {'a', 'b'}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < kPerWriter; ++i) {
                Key k, sub;
                std::string name = std::string(1, writer) + std::to_string(i);
                if (Create(PL_HKEY_CURRENT_USER, "Software\\Shared", k) != 0) _exit(2);
                if (Set(k.h, name.c_str(), PL_REG_SZ, name + "-data") != 0) _exit(3);
                if (i % 10 == 0 && Create(k.h, name.c_str(), sub) != 0) _exit(4);
            }
            _exit(0);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    Key k;
    ASSERT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software\\Shared", 0, PL_KEY_READ, &k.h), 0);
    EXPECT_EQ(ValueNames(k.h).size(), 2u * kPerWriter);
    EXPECT_EQ(SubkeyNames(k.h).size(), 2u * kPerWriter / 10);
    for (char writer : {'a', 'b'})
        for (int i = 0; i < kPerWriter; ++i) {
            std::string name = std::string(1, writer) + std::to_string(i);
            EXPECT_EQ(Get(k.h, name.c_str()), name + "-data");
        }
}

// "a\a\...\a" with `levels` components.
std::string DeepPath(std::size_t levels) {
    std::string path = "a";
    for (std::size_t i = 1; i < levels; ++i) path += "\\a";
    return path;
}

// Windows' limits: 512 levels below a root, 255 characters a name.
TEST(RegistryLimits, DepthAndNameLengthFollowWindows) {
    RegistrySandbox sandbox;
    Key half;
    ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, DeepPath(500).c_str(), half), PL_ERROR_SUCCESS);
    const struct {
        HKEY parent;
        std::size_t levels;  // below the parent
        LONG create, open;
    } cases[] = {
        {PL_HKEY_CURRENT_USER, 512, PL_ERROR_SUCCESS, PL_ERROR_SUCCESS},
        {PL_HKEY_CURRENT_USER, 513, PL_ERROR_INVALID_PARAMETER, PL_ERROR_FILE_NOT_FOUND},
        {PL_HKEY_CURRENT_USER, 60000, PL_ERROR_INVALID_PARAMETER, PL_ERROR_FILE_NOT_FOUND},
        {half.h, 12, PL_ERROR_SUCCESS, PL_ERROR_SUCCESS},  // relative to a key 500 deep
        {half.h, 13, PL_ERROR_INVALID_PARAMETER, PL_ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.levels) + (c.parent == half.h ? " below level 500" : ""));
        const std::string path = DeepPath(c.levels);
        auto start = std::chrono::steady_clock::now();
        Key created, opened;
        EXPECT_EQ(Create(c.parent, path.c_str(), created), c.create);
        EXPECT_EQ(RegOpenKeyExA(c.parent, path.c_str(), 0, PL_KEY_READ, &opened.h), c.open);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
    // A refused key left nothing behind: the store holds 512 levels of "a" at most.
    EXPECT_LT(ReadFile(sandbox.File("HKCU")).size(), 512u * 1024u * 2u);
    Key longName;
    EXPECT_EQ(Create(half.h, std::string(256, 'n').c_str(), longName), PL_ERROR_INVALID_PARAMETER);
}

// A store holding a key deeper than Windows allows is damaged.
TEST(RegistryStore, KeyBeyondTheDepthLimitMakesTheFileDamaged) {
    RegistrySandbox sandbox;
    Key setup;
    ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "Software", setup), PL_ERROR_SUCCESS);
    std::string text;
    {
        plat::posix::RegistryHive hive;
        plat::posix::RegistryHive::Key* k = &hive.Root();
        for (int i = 0; i < 513; ++i) k = &k->AddSubkey("a");
        text = hive.Serialize("HKEY_CURRENT_USER");
    }
    WriteFile(sandbox.File("HKCU"), text);
    testing::internal::CaptureStderr();
    Key k;
    EXPECT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "a", 0, PL_KEY_READ, &k.h), PL_ERROR_BADDB);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("deeper than 512 levels"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(sandbox.File("HKCU")), text);

    // A tree far deeper than a call stack would allow in recursion is still taken apart.
    {
        plat::posix::RegistryHive deep;
        plat::posix::RegistryHive::Key* d = &deep.Root();
        for (int i = 0; i < 300000; ++i) d = &d->AddSubkey("b");
    }
}

// A key name holding a backslash (Windows never makes one, but a store edited by
// hand may hold "%5c") is written escaped, so that a change keeps the store readable
// and does not turn the name into a path.
TEST(RegistryStore, KeyNameWithABackslashSurvivesAChange) {
    RegistrySandbox sandbox;
    Key setup;
    ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "Software", setup), PL_ERROR_SUCCESS);
    {
        plat::posix::RegistryHive hive;
        hive.Root().AddSubkey("Software");
        hive.Root().AddSubkey("a\\b");
        const std::string text = hive.Serialize("HKEY_CURRENT_USER");
        EXPECT_NE(text.find("[a%5cb]"), std::string::npos) << text;
        plat::posix::RegistryHive again;
        std::string reason;
        ASSERT_TRUE(again.Parse(text, "HKEY_CURRENT_USER", &reason)) << reason;
        ASSERT_EQ(again.Root().subkeys.size(), 2u);
        EXPECT_NE(again.Root().FindSubkey("a\\b"), nullptr);
        WriteFile(sandbox.File("HKCU"), text);
    }
    ASSERT_EQ(Set(PL_HKEY_CURRENT_USER, "v", PL_REG_SZ, "x"), PL_ERROR_SUCCESS);
    Key k;
    EXPECT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software", 0, PL_KEY_READ, &k.h), PL_ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(PL_HKEY_CURRENT_USER), (std::vector<std::string>{"a\\b", "Software"}));
}

// Anything but a regular file in place of a store file is refused at once: it is
// never opened in a way that could wait, and never replaced.
TEST(RegistryStore, NotARegularFileIsRefusedWithoutWaiting) {
    RegistrySandbox sandbox;
    Key setup;
    ASSERT_EQ(Create(PL_HKEY_LOCAL_MACHINE, "Software", setup), PL_ERROR_SUCCESS);
    const struct {
        const char* what;
        int (*make)(const char* path);
        bool (*still)(const struct stat& st);
    } cases[] = {
        {"a FIFO", [](const char* p) { return mkfifo(p, 0644); }, [](const struct stat& st) { return S_ISFIFO(st.st_mode); }},
        {"a folder", [](const char* p) { return mkdir(p, 0755); }, [](const struct stat& st) { return S_ISDIR(st.st_mode); }},
    };
    const std::string store = sandbox.File("HKCU");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.make(store.c_str()), 0);
        alarm(60);  // a call that waits for ever ends the test here
        testing::internal::CaptureStderr();
        Key k, created;
        EXPECT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software", 0, PL_KEY_READ, &k.h), PL_ERROR_BADDB);
        EXPECT_EQ(Create(PL_HKEY_CURRENT_USER, "Software\\New", created), PL_ERROR_BADDB);
        EXPECT_EQ(Set(PL_HKEY_CURRENT_USER, "v", PL_REG_SZ, "x"), PL_ERROR_BADDB);
        std::string err = testing::internal::GetCapturedStderr();
        alarm(0);
        EXPECT_NE(err.find(store + " is not a regular file (it is " + c.what + ")"), std::string::npos) << err;
        struct stat st{};
        ASSERT_EQ(lstat(store.c_str(), &st), 0);
        EXPECT_TRUE(c.still(st));
        // The other roots are unaffected.
        Key lm;
        EXPECT_EQ(RegOpenKeyExA(PL_HKEY_LOCAL_MACHINE, "Software", 0, PL_KEY_READ, &lm.h), PL_ERROR_SUCCESS);
        std::filesystem::remove(store);
    }
    // A link to a regular file is a store file like any other.
    Key k;
    ASSERT_EQ(Create(PL_HKEY_CURRENT_USER, "Software\\Linked", k), PL_ERROR_SUCCESS);
    ASSERT_EQ(rename(store.c_str(), (store + ".real").c_str()), 0);
    ASSERT_EQ(symlink((store + ".real").c_str(), store.c_str()), 0);
    Key viaLink;
    EXPECT_EQ(RegOpenKeyExA(PL_HKEY_CURRENT_USER, "Software\\Linked", 0, PL_KEY_READ, &viaLink.h), PL_ERROR_SUCCESS);
}

// The machine's hive counts only while root alone may have written it and its folder.
TEST(RegistryStore, TheMachinesHiveIsRootsAlone) {
    const struct {
        uid_t folderOwner, fileOwner;
        mode_t folderMode, fileMode;
        const char* problem;
    } cases[] = {{0, 0, 0755, 0644, ""},
                 {0, 0, 01777, 0644, "others may write its folder"},
                 {0, 0, 0755, 0664, "others may write it"},
                 {0, 1000, 0755, 0600, "it belongs to user 1000"}};
    for (const auto& c : cases) {
        struct stat folder{}, file{};
        folder.st_uid = c.folderOwner, folder.st_mode = S_IFDIR | c.folderMode;
        file.st_uid = c.fileOwner, file.st_mode = S_IFREG | c.fileMode;
        const std::string problem = plat::posix::RegistryFile::NotTheMachines(folder, file);
        EXPECT_TRUE(*c.problem ? problem.find(c.problem) != std::string::npos : problem.empty()) << problem;
    }
}
