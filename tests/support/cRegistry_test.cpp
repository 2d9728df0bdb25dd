#include "support/cRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/App.h"
#include "platform/Registry.h"
#include "support/ErrorReport.h"
#include "tests/common/Events.h"
#include "tests/common/RegistrySandbox.h"
#include "tests/common/RegistryValues.h"

using nl::ByteArray;
using nl::cRegistry;
using nl::Variant;
using testutil::RegistrySandbox;
using testutil::At;
using testutil::RawSet;

namespace {

struct Raw {
    plat::DWORD type = 0;
    std::string data;
    bool operator==(const Raw&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Raw& r) {
    os << "kind " << r.type << " [";
    for (unsigned char c : r.data) os << ' ' << static_cast<int>(c);
    return os << " ]";
}

plat::HKEY Root(std::int32_t root) { return plat::RootKeyFromLong(root); }

// The stored value, read past the class under test.
std::optional<Raw> RawGet(std::int32_t root, const std::string& path, const std::string& name) {
    plat::HKEY k = 0;
    if (plat::RegOpenKeyExA(Root(root), path.c_str(), 0, plat::PL_KEY_QUERY_VALUE, &k) != 0) return std::nullopt;
    Raw r;
    plat::DWORD size = 0;
    std::optional<Raw> out;
    if (plat::RegQueryValueExA(k, name.c_str(), nullptr, &r.type, nullptr, &size) == 0) {
        r.data.resize(size);
        plat::RegQueryValueExA(k, name.c_str(), nullptr, nullptr, reinterpret_cast<plat::BYTE*>(r.data.data()), &size);
        out = r;
    }
    plat::RegCloseKey(k);
    return out;
}

ByteArray Bytes(std::initializer_list<std::uint8_t> b) { return ByteArray{std::vector<std::uint8_t>(b), 0}; }

std::string Source() { return plat::ExeName() + ".cRegistry"; }

// The bytes stored for a text cRegistry writes without its terminator. Windows'
// RegSetValueExA counts a terminator that follows the data it is given (as the
// platform.win32.registry test shows), so there a text other than the empty one
// is stored with it; the Linux store keeps the bytes as given.
std::string StoredText(const std::string& text) {
    return testutil::kWindows && !text.empty() ? text + '\0' : text;
}

using testutil::Raised;

const std::int32_t HKCU = cRegistry::PL_HKEY_CURRENT_USER;
const std::int32_t HKLM = cRegistry::PL_HKEY_LOCAL_MACHINE;
const std::int32_t HKCR = cRegistry::PL_HKEY_CLASSES_ROOT;
const char kKey[] = "Software\\Brightloom";

}  // namespace

TEST(cRegistryRead, MissingValuesGiveDefaultAndKeepValueType) {
    RegistrySandbox sandbox;
    cRegistry fresh;
    EXPECT_TRUE(fresh.Value().IsEmpty());
    EXPECT_EQ(fresh.ValueType(), 0);

    cRegistry r = At(HKLM, kKey, "Path", cRegistry::PL_REG_DWORD);
    r.SetDefault(Variant("none"));
    EXPECT_EQ(r.Value(), Variant("none"));  // no key
    RawSet(HKLM, kKey, "Other", plat::PL_REG_SZ, "x");
    EXPECT_EQ(r.Value(), Variant("none"));  // key without the value
    EXPECT_EQ(r.ValueType(), cRegistry::PL_REG_DWORD);
    // The settings are plain storage: nothing else changes them.
    EXPECT_EQ(r.ClassKey(), HKLM);
    EXPECT_EQ(r.SectionKey(), kKey);
    EXPECT_EQ(r.ValueKey(), "Path");
}

TEST(cRegistryRead, EachStoredKind) {
    RegistrySandbox sandbox;
    RawSet(HKLM, kKey, "Sz", plat::PL_REG_SZ, std::string("C:\\Prog\\app.exe\0", 16));
    RawSet(HKLM, kKey, "SzBare", plat::PL_REG_SZ, "no terminator");
    RawSet(HKLM, kKey, "Multi", plat::PL_REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    RawSet(HKLM, kKey, "Expand", plat::PL_REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9));
    RawSet(HKLM, kKey, "ExpandBare", plat::PL_REG_EXPAND_SZ, "%A%");
    RawSet(HKLM, kKey, "ExpandEmpty", plat::PL_REG_EXPAND_SZ, "");
    RawSet(HKLM, kKey, "Dword", plat::PL_REG_DWORD, std::string("\xFE\xFF\xFF\xFF", 4));
    RawSet(HKLM, kKey, "Big", plat::PL_REG_DWORD_BIG_ENDIAN, std::string("\0\0\1\2", 4));
    RawSet(HKLM, kKey, "Bin", plat::PL_REG_BINARY, "\x0A\x0B\x0C");
    RawSet(HKLM, kKey, "None", plat::PL_REG_NONE, "");
    RawSet(HKLM, kKey, "Odd", 0x4242, "\x01");

    auto read = [](const char* name, std::int32_t* type = nullptr) {
        cRegistry r = At(HKLM, kKey, name, cRegistry::PL_REG_SZ);
        Variant v = r.Value();
        if (type) *type = r.ValueType();
        return v;
    };
    std::int32_t type = 0;
    EXPECT_EQ(read("Sz"), Variant("C:\\Prog\\app.exe"));
    EXPECT_EQ(read("szbare"), Variant("no terminator"));
    EXPECT_EQ(read("Multi", &type), Variant("a"));
    EXPECT_EQ(type, cRegistry::PL_REG_MULTI_SZ);
    EXPECT_EQ(read("Expand", &type), Variant("%TEMP%\\x"));
    EXPECT_EQ(type, cRegistry::PL_REG_EXPAND_SZ);
    EXPECT_EQ(read("ExpandBare"), Variant("%A%"));  // stored without terminator: nothing is cut off
    EXPECT_EQ(read("ExpandEmpty"), Variant(""));
    EXPECT_EQ(read("Dword", &type), Variant(std::int32_t{-2}));
    EXPECT_EQ(type, cRegistry::PL_REG_DWORD);
    EXPECT_EQ(read("Big"), Variant(std::int32_t{258}));
    EXPECT_EQ(read("Bin", &type), Variant(Bytes({10, 11, 12, 0})));
    EXPECT_EQ(type, cRegistry::PL_REG_BINARY);
    EXPECT_EQ(read("None"), Variant(Bytes({0})));
    EXPECT_EQ(read("Odd", &type), Variant(Bytes({1, 0})));
    EXPECT_EQ(type, 0x4242);

    // A binary value read and written back keeps exactly its bytes.
    cRegistry r = At(HKLM, kKey, "Bin", cRegistry::PL_REG_SZ);
    Variant v = r.Value();
    r.SetValue(v);
    EXPECT_EQ(RawGet(HKLM, kKey, "Bin"), (Raw{plat::PL_REG_BINARY, "\x0A\x0B\x0C"}));
}

TEST(cRegistryWrite, TextsChooseTheirKindByPercentSigns) {
    RegistrySandbox sandbox;
    struct Case {
        Variant value;
        std::int32_t type;
        Raw stored;
    };
    const std::vector<Case> cases = {
        {Variant("100%"), cRegistry::PL_REG_EXPAND_SZ, {plat::PL_REG_SZ, StoredText("100%")}},
        {Variant("%%"), cRegistry::PL_REG_EXPAND_SZ, {plat::PL_REG_SZ, StoredText("%%")}},
        {Variant("%A%"), cRegistry::PL_REG_SZ, {plat::PL_REG_EXPAND_SZ, StoredText("%A%")}},
        {Variant("%ProgramFiles%\\x"), cRegistry::PL_REG_SZ,
         {plat::PL_REG_EXPAND_SZ, StoredText("%ProgramFiles%\\x")}},
        {Variant("C:\\Prog\\app.exe"), cRegistry::PL_REG_SZ, {plat::PL_REG_SZ, StoredText("C:\\Prog\\app.exe")}},
        {Variant(std::int16_t{-7}), cRegistry::PL_REG_SZ, {plat::PL_REG_SZ, StoredText("-7")}},
        {Variant(), cRegistry::PL_REG_SZ, {plat::PL_REG_SZ, ""}},
    };
    for (const auto& c : cases) {
        cRegistry r = At(HKCU, kKey, "v", c.type);
        r.SetValue(c.value);
        EXPECT_EQ(RawGet(HKCU, kKey, "v"), c.stored) << c.value.ToText();
        EXPECT_EQ(r.ValueType(), c.type);  // a write does not change it
    }
    // What is written reads back unchanged, whichever kind was chosen.
    cRegistry r = At(HKCU, kKey, "v", cRegistry::PL_REG_SZ);
    r.SetValue(Variant("%TEMP%\\x"));
    EXPECT_EQ(r.Value(), Variant("%TEMP%\\x"));
    EXPECT_EQ(r.ValueType(), cRegistry::PL_REG_EXPAND_SZ);
}

TEST(cRegistryWrite, NumbersAndBytes) {
    RegistrySandbox sandbox;
    cRegistry r = At(HKCU, kKey, "Update", cRegistry::PL_REG_DWORD);
    r.SetValue(Variant(std::int16_t{0}));
    EXPECT_EQ(RawGet(HKCU, kKey, "Update"), (Raw{plat::PL_REG_DWORD, std::string(4, '\0')}));
    r.SetValue(Variant(std::int16_t{-2}));  // sign-extended
    EXPECT_EQ(RawGet(HKCU, kKey, "Update"), (Raw{plat::PL_REG_DWORD, "\xFE\xFF\xFF\xFF"}));
    r.SetValueType(cRegistry::PL_REG_DWORD_BIG_ENDIAN);
    r.SetValue(Variant(std::int32_t{258}));  // stored little-endian as PL_REG_DWORD
    EXPECT_EQ(RawGet(HKCU, kKey, "Update"), (Raw{plat::PL_REG_DWORD, std::string("\x02\x01\0\0", 4)}));
    // Anything but an integer is silently not written.
    r.SetValue(Variant("5"));
    r.SetValue(Variant(true));
    EXPECT_EQ(RawGet(HKCU, kKey, "Update"), (Raw{plat::PL_REG_DWORD, std::string("\x02\x01\0\0", 4)}));

    cRegistry b = At(HKCU, kKey, "Bin", cRegistry::PL_REG_BINARY);
    b.SetValue(Variant(Bytes({1, 2, 3, 0})));  // the last element is not stored
    EXPECT_EQ(RawGet(HKCU, kKey, "Bin"), (Raw{plat::PL_REG_BINARY, "\x01\x02\x03"}));
    b.SetValue(Variant(ByteArray{}));
    EXPECT_EQ(RawGet(HKCU, kKey, "Bin"), (Raw{plat::PL_REG_BINARY, ""}));
    auto e = Raised([&] { b.SetValue(Variant("text")); });
    EXPECT_EQ(e.number, 26001);
    EXPECT_EQ(RawGet(HKCU, kKey, "Bin"), (Raw{plat::PL_REG_BINARY, ""}));
}

TEST(cRegistryWrite, UnsupportedKindsRaiseWithTheFullMessage) {
    RegistrySandbox sandbox;
    for (std::int32_t type : {cRegistry::PL_REG_MULTI_SZ, cRegistry::PL_REG_NONE, 6, 11}) {
        cRegistry r = At(HKCU, kKey, "Name", type);
        auto e = Raised([&] { r.SetValue(Variant("abc")); });
        EXPECT_EQ(e.number, static_cast<std::int32_t>(0x800469A9u));
        EXPECT_EQ(e.number, -2147194455);
        EXPECT_EQ(e.source, Source());
        EXPECT_EQ(e.description,
                  "Failed to set registry value Key: '-2147483647',Section: 'Software\\Brightloom',Key: 'Name' to "
                  "value: 'abc'");
    }
    EXPECT_FALSE(RawGet(HKCU, kKey, "Name").has_value());
}

TEST(cRegistryKeys, CreateDeleteAndExistence) {
    RegistrySandbox sandbox;
    cRegistry r = At(HKCU, "Software\\Brightloom\\Deep\\Er", "", 0);
    EXPECT_FALSE(r.KeyExists());
    EXPECT_TRUE(r.CreateKey());
    EXPECT_TRUE(r.KeyExists());
    r.SetSectionKey("Software\\Brightloom");
    EXPECT_FALSE(r.DeleteKey());  // it has subkeys
    r.SetSectionKey("software\\brightloom\\deep\\er");
    EXPECT_TRUE(r.DeleteKey());
    EXPECT_FALSE(r.KeyExists());
    EXPECT_FALSE(r.DeleteKey());

    cRegistry bad = At(0, "X", "", 0);
    auto e = Raised([&] { bad.CreateKey(); });
    EXPECT_EQ(e.number, 26001);
    EXPECT_EQ(e.source, Source());
    EXPECT_EQ(e.description, "Failed to create registry Key: 'X");
}

TEST(cRegistryKeys, DeleteValue) {
    RegistrySandbox sandbox;
    RawSet(HKLM, kKey, "Path", plat::PL_REG_SZ, "x");
    cRegistry r = At(HKLM, kKey, "Path", cRegistry::PL_REG_SZ);
    EXPECT_TRUE(r.DeleteValue());
    EXPECT_FALSE(r.DeleteValue());
    EXPECT_FALSE(RawGet(HKLM, kKey, "Path").has_value());

    cRegistry missing = At(HKLM, "Software\\Nothing", "Path", cRegistry::PL_REG_SZ);
    auto e = Raised([&] { missing.DeleteValue(); });
    EXPECT_EQ(e.number, 26001);
    EXPECT_EQ(e.description, "Failed to open key '-2147483646',Section: 'Software\\Nothing' for delete access");
}

TEST(cRegistryEnumerate, ValuesAndSections) {
    RegistrySandbox sandbox;
    cRegistry r = At(HKCU, "Software\\Missing", "", 0);
    std::vector<std::string> names{"stale"};
    std::int32_t count = 99;
    EXPECT_TRUE(r.EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(r.EnumerateSections(names, count));
    EXPECT_EQ(count, 0);

    RawSet(HKCU, kKey, "Path", plat::PL_REG_SZ, "");
    RawSet(HKCU, kKey, "Update", plat::PL_REG_DWORD, std::string(4, '\0'));
    RawSet(HKCU, kKey, "", plat::PL_REG_SZ, "default");
    r.SetSectionKey(kKey);
    EXPECT_TRUE(r.EnumerateValues(names, count));
    EXPECT_EQ(count, 3);
    // In the order written, as Windows documents; Wine's registry lists them
    // sorted by name (named here, and in platform.win32.registry).
    const std::vector<std::string> written{"Path", "Update", ""};
    if (!testutil::WineVersion().empty() && names != written) {
        EXPECT_EQ(names, (std::vector<std::string>{"", "Path", "Update"}))
            << "Wine " << testutil::WineVersion() << " lists values in yet another order";
        std::printf("Wine %s: RegEnumValueA lists values sorted by name (Windows: in the order written)\n",
                    testutil::WineVersion().c_str());
    } else {
        EXPECT_EQ(names, written);
    }

    // The longest possible key name is listed too, and the ones after it.
    const std::string longest(255, 'L');
    for (const std::string& sub : {std::string("zz"), longest, std::string("Beta"), std::string("alpha")})
        RawSet(HKCU, std::string(kKey) + "\\" + sub, "", plat::PL_REG_SZ, "");
    EXPECT_TRUE(r.EnumerateSections(names, count));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", longest, "zz"}));
}

TEST(cRegistryAssociations, OpenVerbOnlyUnderBothClassRoots) {
    RegistrySandbox sandbox;
    cRegistry r;
    r.CreateEXEAssociation("  C:\\A\\ed.exe ", "Demo.Doc", "Demo document", "dmd");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {".dmd", "Demo.Doc"},
        {"Demo.Doc", "Demo document"},
        {"Demo.Doc\\shell\\open", "&Open"},
        {"Demo.Doc\\shell\\open\\command", "C:\\A\\ed.exe \"%1\""},
    };
    for (const auto& [key, text] : rows) {
        EXPECT_EQ(RawGet(HKCR, key, ""), (Raw{plat::PL_REG_SZ, StoredText(text)})) << key;
        EXPECT_EQ(RawGet(HKLM, "SOFTWARE\\Classes\\" + key, ""), (Raw{plat::PL_REG_SZ, StoredText(text)})) << key;
    }
    for (const char* absent : {"Demo.Doc\\shell\\print", "Demo.Doc\\shell\\new", "Demo.Doc\\shell\\add",
                               "Demo.Doc\\DefaultIcon"})
        EXPECT_FALSE(At(HKCR, absent, "", 0).KeyExists()) << absent;
    EXPECT_EQ(r.ClassKey(), HKLM);
    EXPECT_EQ(r.SectionKey(), "Demo.Doc\\shell\\open\\command");
    EXPECT_EQ(r.ValueKey(), "");
    EXPECT_EQ(r.ValueType(), cRegistry::PL_REG_SZ);
}

TEST(cRegistryAssociations, EveryVerbAndIcon) {
    RegistrySandbox sandbox;
    cRegistry r;
    r.CreateEXEAssociation("%ProgramFiles%\\ed.exe", "Demo.Doc", "Demo document", "dmd", "", true, "", true, "",
                           true, "", 0);
    const std::string exe = "%ProgramFiles%\\ed.exe";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Demo.Doc\\shell\\print", "&Print"},
        {"Demo.Doc\\shell\\print\\command", exe + " /p \"%1\""},
        {"Demo.Doc\\shell\\add", "&Install dmd"},
        {"Demo.Doc\\shell\\add\\command", exe + " /a \"%1\""},
        {"Demo.Doc\\shell\\new", "&New"},
        {"Demo.Doc\\shell\\new\\command", exe + " /n \"%1\""},
        {"Demo.Doc\\DefaultIcon", exe + ",0"},
    };
    for (const auto& [key, text] : rows) {
        std::string path = key;
        plat::DWORD kind = text.find('%') != std::string::npos ? plat::PL_REG_EXPAND_SZ : plat::PL_REG_SZ;
        EXPECT_EQ(RawGet(HKCR, path, ""), (Raw{kind, StoredText(text)})) << key;
        EXPECT_EQ(RawGet(HKLM, "SOFTWARE\\Classes\\" + path, ""), (Raw{kind, StoredText(text)})) << key;
    }
    EXPECT_EQ(r.SectionKey(), "Demo.Doc\\DefaultIcon");
}

TEST(cRegistryAssociations, AdditionalVerbsRecordTheirErrors) {
    RegistrySandbox sandbox;
    cRegistry r;
    r.CreateAdditionalEXEAssociations("Demo.Doc", {Variant("edit"), Variant("&Edit")});
    EXPECT_EQ(nl::LastError().number, static_cast<std::int32_t>(0x800469ACu));
    EXPECT_EQ(nl::LastError().description,
              "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
    EXPECT_FALSE(At(HKCR, "Demo.Doc\\shell\\edit", "", 0).KeyExists());

    r.SetClassKey(HKCR);
    r.CreateAdditionalEXEAssociations("Demo.Doc", {Variant("edit"), Variant("&Edit"), Variant("ed.exe /e \"%1\"")});
    EXPECT_EQ(nl::LastError().number, static_cast<std::int32_t>(0x800469ADu));
    EXPECT_EQ(nl::LastError().description, "Error - attempt to create additional associations before class defined.");
    EXPECT_EQ(nl::LastError().source, Source());

    r.CreateEXEAssociation("ed.exe", "Demo.Doc", "Demo document", "dmd");
    // After the association ClassKey is PL_HKEY_LOCAL_MACHINE, where the class is not.
    r.CreateAdditionalEXEAssociations("Demo.Doc", {Variant("edit"), Variant("&Edit"), Variant("ed.exe /e")});
    EXPECT_EQ(nl::LastError().number, static_cast<std::int32_t>(0x800469ADu));
    r.SetClassKey(HKCR);
    r.CreateAdditionalEXEAssociations(
        "Demo.Doc", {Variant("edit"), Variant("&Edit"), Variant("ed.exe /e \"%1\""), Variant("view"),
                     Variant(std::int16_t{7}), Variant("ed.exe /v")});
    EXPECT_FALSE(nl::LastError().IsSet());
    for (std::int32_t root : {HKCR, HKLM}) {
        std::string base = root == HKCR ? "" : "SOFTWARE\\Classes\\";
        EXPECT_EQ(RawGet(root, base + "Demo.Doc\\shell\\edit", ""), (Raw{plat::PL_REG_SZ, StoredText("&Edit")}));
        EXPECT_EQ(RawGet(root, base + "Demo.Doc\\shell\\edit\\command", ""),
                  (Raw{plat::PL_REG_SZ, StoredText("ed.exe /e \"%1\"")}));
        EXPECT_EQ(RawGet(root, base + "Demo.Doc\\shell\\view", ""), (Raw{plat::PL_REG_SZ, StoredText("7")}));
    }
}

TEST(cRegistryHelpers, SwapBytes) {
    EXPECT_EQ(cRegistry::SwapBytes(0x01020304), 0x04030201);
    EXPECT_EQ(cRegistry::SwapBytes(static_cast<std::int32_t>(0xFF000000u)), 0xFF);
    EXPECT_EQ(cRegistry::SwapBytes(0x02010000), 258);
}
