// The version calls of the Linux platform layer: what VerQueryValueA answers on
// real program files, text conversion, short buffers, language names, full-path
// resolution, and damaged or hostile files, which must simply have no version
// information.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/VersionInfo.h"
#include "platform/posix/MemorySource.h"
#include "platform/posix/VersionResource.h"
#include "tests/common/PeFileBuilder.h"
#include "tests/common/Fixtures.h"
#include "tests/common/TestUtil.h"
#include "tests/common/VersionBlockBuilder.h"
#include "tests/platform/posix/common/VersionProbe.h"

namespace {

using testutil::PeFileBuilder;
using testutil::VersionBlockBuilder;
using Bytes = std::vector<std::uint8_t>;

using testutil::Fixture;

// The file's version data as the updater loads it; empty when there is none.
std::vector<unsigned char> Load(const std::string& path) {
    plat::DWORD size = plat::GetFileVersionInfoSizeA(path.c_str(), nullptr);
    if (size == 0) return {};
    std::vector<unsigned char> data(size, 0);
    if (!plat::GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
    return data;
}

plat::DWORD SizeOf(const Bytes& file) {
    testutil::TempDir dir;
    std::string path = dir / "file.bin";
    testutil::WriteFile(path, std::string(file.begin(), file.end()));
    return plat::GetFileVersionInfoSizeA(path.c_str(), nullptr);
}

struct Answer {
    bool ok = false;
    plat::UINT len = 0;
    std::string text;
    const void* p = nullptr;
};

Answer Ask(std::vector<unsigned char>& data, const char* path) {
    Answer a;
    void* p = reinterpret_cast<void*>(0x1);
    a.len = 0xDEAD;
    a.ok = plat::VerQueryValueA(data.data(), path, &p, &a.len) != 0;
    a.p = p;
    if (a.ok) a.text = static_cast<const char*>(p);
    return a;
}

TEST(VersionReader, QueriesAnswerAsWindowsDoes) {
    NL_SKIP_WITHOUT_FIXTURES();
    auto data = Load(Fixture("app.exe"));
    ASSERT_FALSE(data.empty());

    Answer root = Ask(data, "\\");
    ASSERT_TRUE(root.ok);
    EXPECT_EQ(root.len, sizeof(plat::VS_FIXEDFILEINFO));
    plat::VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root.p, sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00020001u);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00000005u);
    EXPECT_EQ(Ask(data, "").len, sizeof(plat::VS_FIXEDFILEINFO));  // "" is the root too

    Answer tr = Ask(data, "\\VarFileInfo\\Translation");
    ASSERT_TRUE(tr.ok);
    EXPECT_EQ(tr.len, 4u);  // bytes
    unsigned char t[4];
    std::memcpy(t, tr.p, 4);
    EXPECT_EQ(t[0] | (t[1] << 8), 0x0409);
    EXPECT_EQ(t[2] | (t[3] << 8), 1200);

    // Text: the length counts the characters and the NUL.
    Answer company = Ask(data, "\\StringFileInfo\\040904B0\\CompanyName");
    ASSERT_TRUE(company.ok);
    EXPECT_EQ(company.text, "Brightloom Labs");
    EXPECT_EQ(company.len, std::strlen("Brightloom Labs") + 1);

    // Names compare without regard to case; empty parts are skipped.
    EXPECT_EQ(Ask(data, "\\stringfileinfo\\040904b0\\COMPANYNAME").text, "Brightloom Labs");
    EXPECT_EQ(Ask(data, "\\\\StringFileInfo\\\\040904B0\\CompanyName\\").text, "Brightloom Labs");

    // An intermediate block is found, with no value.
    Answer block = Ask(data, "\\StringFileInfo");
    EXPECT_TRUE(block.ok);
    EXPECT_EQ(block.len, 0u);

    // A partial or missing name fails, leaves the pointer alone and gives length 0.
    for (const char* path : {"\\StringFileInfo\\040904B0\\CompanyNam", "\\StringFileInfo\\040904B0\\CompanyNameX",
                             "\\StringFileInfo\\080404B0\\CompanyName", "String"}) {
        Answer a = Ask(data, path);
        EXPECT_FALSE(a.ok) << path;
        EXPECT_EQ(a.len, 0u) << path;
        EXPECT_EQ(a.p, reinterpret_cast<void*>(0x1)) << path;
        EXPECT_EQ(plat::GetLastError(), 1813u) << path;
    }
}

TEST(VersionReader, ConvertedValuesStayValidAcrossQueries) {
    NL_SKIP_WITHOUT_FIXTURES();
    auto data = Load(Fixture("app.exe"));
    ASSERT_FALSE(data.empty());
    Answer first = Ask(data, "\\StringFileInfo\\040904B0\\Comments");
    Answer second = Ask(data, "\\StringFileInfo\\040904B0\\CompanyName");
    Answer third = Ask(data, "\\StringFileInfo\\040904B0\\FileDescription");
    EXPECT_STREQ(static_cast<const char*>(first.p), "Installed by the Brightloom setup");
    EXPECT_STREQ(static_cast<const char*>(second.p), "Brightloom Labs");
    EXPECT_STREQ(static_cast<const char*>(third.p), "Brightloom Desktop");
    // Asking again gives the same place.
    EXPECT_EQ(Ask(data, "\\StringFileInfo\\040904B0\\CompanyName").p, second.p);
}

TEST(VersionReader, TextIsConvertedToUtf8) {
    Bytes block = VersionBlockBuilder::Standard(
        0x00010000, 0, "040904B0",
        {{"CompanyName", u"Caf\u00e9 \u4e2d\u6587 \U0001F600"},
         {"Broken", std::u16string(u"a") + char16_t(0xD800) + u"b"},
         {"Empty", u""}},
        {0x04B00409});
    testutil::TempDir dir;
    testutil::WriteFile(dir / "utf.exe", std::string(reinterpret_cast<const char*>(PeFileBuilder::Build(block).data()),
                                                     PeFileBuilder::Build(block).size()));
    auto data = Load(dir / "utf.exe");
    ASSERT_FALSE(data.empty());

    Answer a = Ask(data, "\\StringFileInfo\\040904B0\\CompanyName");
    EXPECT_EQ(a.text, "Caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80");
    EXPECT_EQ(a.len, a.text.size() + 1);
    EXPECT_EQ(Ask(data, "\\StringFileInfo\\040904B0\\Broken").text, "a\xEF\xBF\xBD" "b");

    // An empty value: found, length 0, an empty text.
    Answer e = Ask(data, "\\StringFileInfo\\040904B0\\Empty");
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(e.len, 0u);
    EXPECT_EQ(e.text, "");
}

TEST(VersionReader, PeFileBuiltForTestsMatchesTheToolchain) {
    // The hand-made PE layout used by the damage tests below must itself be read
    // like the real ones, or those tests would prove nothing.
    for (bool plus : {false, true}) {
        Bytes file = PeFileBuilder::Build(
            VersionBlockBuilder::Standard(0x00020001, 5, "040904B0", {{"CompanyName", u"Made"}}, {0x04B00409}), plus);
        EXPECT_GT(SizeOf(file), 0u) << plus;
        EXPECT_TRUE(testutil::ProbeVersionData(file.data(), file.size()));
    }
}

TEST(VersionReader, ShortBuffersGetAShortenedBlock) {
    NL_SKIP_WITHOUT_FIXTURES();
    std::string path = Fixture("app.exe");
    plat::DWORD size = plat::GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 600u);

    // Big enough for the fixed part, too small for the strings at the end.
    std::vector<unsigned char> part(400, 0xCC);
    ASSERT_TRUE(plat::GetFileVersionInfoA(path.c_str(), 0, static_cast<plat::DWORD>(part.size()), part.data()));
    EXPECT_EQ(Ask(part, "\\").len, sizeof(plat::VS_FIXEDFILEINFO));
    EXPECT_FALSE(Ask(part, "\\StringFileInfo\\040904B0\\SpecialBuild").ok);

    // Too small for anything: nothing can be queried.
    std::vector<unsigned char> tiny(8, 0xCC);
    EXPECT_FALSE(plat::GetFileVersionInfoA(path.c_str(), 0, 8, tiny.data()));
    EXPECT_FALSE(Ask(tiny, "\\").ok);
}

TEST(VersionReader, FilesWithoutVersionInformation) {
    NL_SKIP_WITHOUT_FIXTURES();
    testutil::TempDir dir;
    EXPECT_EQ(plat::GetFileVersionInfoSizeA(Fixture("text.txt").c_str(), nullptr), 0u);
    EXPECT_EQ(plat::GetLastError(), 1812u);
    EXPECT_EQ(plat::GetFileVersionInfoSizeA((dir / "missing").c_str(), nullptr), 0u);
    EXPECT_EQ(plat::GetLastError(), static_cast<plat::DWORD>(plat::PL_ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(plat::GetFileVersionInfoSizeA(dir.path().c_str(), nullptr), 0u);  // a folder
    EXPECT_EQ(plat::GetFileVersionInfoSizeA("", nullptr), 0u);
    EXPECT_EQ(plat::GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
    // An ELF program without the section.
    EXPECT_EQ(plat::GetFileVersionInfoSizeA(Fixture("linux-plain.elf").c_str(), nullptr), 0u);
    EXPECT_GT(plat::GetFileVersionInfoSizeA(Fixture("linux.elf").c_str(), nullptr), 0u);
}

TEST(VersionReader, TruncatedFilesHaveNoVersionInformation) {
    NL_SKIP_WITHOUT_FIXTURES();
    for (const char* name : {"app.exe", "app64.exe", "linux.elf"}) {
        std::string whole = testutil::ReadFile(Fixture(name));
        ASSERT_FALSE(whole.empty());
        testutil::TempDir dir;
        std::string path = dir / "cut";
        plat::DWORD fullSize = plat::GetFileVersionInfoSizeA(Fixture(name).c_str(), nullptr);
        for (std::size_t n = 0; n < whole.size(); n += 61) {
            testutil::WriteFile(path, whole.substr(0, n));
            plat::DWORD size = plat::GetFileVersionInfoSizeA(path.c_str(), nullptr);
            // Either the whole block was still there, or there is nothing.
            EXPECT_TRUE(size == 0 || size == fullSize) << name << " cut at " << n;
            auto data = Load(path);
            if (!data.empty()) {
                EXPECT_TRUE(Ask(data, "\\").ok);
            }
        }
    }
}

// One damaged PE file a case: a name and what to do to the good file.
struct Damage {
    const char* what;
    void (*apply)(Bytes&, bool plus);
};

const Damage kDamages[] = {
    {"no MZ", [](Bytes& f, bool) { f[0] = 'X'; }},
    {"e_lfanew past the end", [](Bytes& f, bool) { PeFileBuilder::Put32(f, PeFileBuilder::kLfanew, 0xFFFFFFF0u); }},
    {"e_lfanew near the end", [](Bytes& f, bool) {
         PeFileBuilder::Put32(f, PeFileBuilder::kLfanew, static_cast<std::uint32_t>(f.size() - 2));
     }},
    {"no PE signature", [](Bytes& f, bool) { f[PeFileBuilder::kPeHeader] = 'N'; }},
    {"65535 sections", [](Bytes& f, bool) { PeFileBuilder::Put16(f, PeFileBuilder::kSectionCount, 0xFFFF); }},
    {"no sections", [](Bytes& f, bool) { PeFileBuilder::Put16(f, PeFileBuilder::kSectionCount, 0); }},
    {"huge optional header", [](Bytes& f, bool) { PeFileBuilder::Put16(f, PeFileBuilder::kOptionalSize, 0xFFFF); }},
    {"tiny optional header", [](Bytes& f, bool) { PeFileBuilder::Put16(f, PeFileBuilder::kOptionalSize, 2); }},
    {"unknown optional magic", [](Bytes& f, bool) { PeFileBuilder::Put16(f, PeFileBuilder::kOptional, 0x107); }},
    {"two data directories", [](Bytes& f, bool plus) {
         PeFileBuilder::Put32(f, PeFileBuilder::kOptional + (plus ? 108 : 92), 2);
     }},
    {"resource table RVA outside every section", [](Bytes& f, bool plus) {
         PeFileBuilder::Put32(f, PeFileBuilder::ResourceDirectory(plus), 0x7FFFFFF0u);
     }},
    {"section raw data past the end", [](Bytes& f, bool plus) {
         PeFileBuilder::Put32(f, PeFileBuilder::SectionHeader(plus) + 20, 0xFFFFFE00u);
     }},
    {"section raw size past the end", [](Bytes& f, bool plus) {
         PeFileBuilder::Put32(f, PeFileBuilder::SectionHeader(plus) + 16, 0xFFFFFFFFu);
         PeFileBuilder::Put32(f, PeFileBuilder::SectionHeader(plus) + 8, 0xFFFFFFFFu);
         PeFileBuilder::Put32(f, PeFileBuilder::kDataSize, 0x00100000u);
     }},
    {"no raw data (all in memory)", [](Bytes& f, bool plus) {
         PeFileBuilder::Put32(f, PeFileBuilder::SectionHeader(plus) + 16, 0);
     }},
    {"type directory points at itself", [](Bytes& f, bool) {
         PeFileBuilder::Put32(f, PeFileBuilder::kTypeEntryOffset, 0x80000000u);
     }},
    {"name directory points back at the type directory", [](Bytes& f, bool) {
         PeFileBuilder::Put32(f, PeFileBuilder::kNameEntryOffset, 0x80000000u);
     }},
    {"language entry is a directory pointing at itself", [](Bytes& f, bool) {
         PeFileBuilder::Put32(f, PeFileBuilder::kLangEntryOffset, 0x80000030u);
     }},
    {"type entry is data, not a directory", [](Bytes& f, bool) {
         PeFileBuilder::Put32(f, PeFileBuilder::kTypeEntryOffset, 0x48);
     }},
    {"directory offset far outside", [](Bytes& f, bool) {
         PeFileBuilder::Put32(f, PeFileBuilder::kNameEntryOffset, 0xFFFFFFF0u);
     }},
    {"131070 directory entries claimed", [](Bytes& f, bool) {
         PeFileBuilder::Put16(f, PeFileBuilder::kRsrcStart + 12, 0xFFFF);
         PeFileBuilder::Put16(f, PeFileBuilder::kRsrcStart + 14, 0xFFFF);
     }},
    {"no RT_VERSION type", [](Bytes& f, bool) { PeFileBuilder::Put32(f, PeFileBuilder::kRsrcStart + 16, 3); }},
    {"RT_VERSION as a name", [](Bytes& f, bool) {
         PeFileBuilder::Put32(f, PeFileBuilder::kRsrcStart + 16, 0x80000010u);
     }},
    {"data RVA outside", [](Bytes& f, bool) { PeFileBuilder::Put32(f, PeFileBuilder::kDataRva, 0xFFFFFFF0u); }},
    {"data size 4 GB", [](Bytes& f, bool) { PeFileBuilder::Put32(f, PeFileBuilder::kDataSize, 0xFFFFFFFFu); }},
    {"data size 0", [](Bytes& f, bool) { PeFileBuilder::Put32(f, PeFileBuilder::kDataSize, 0); }},
    {"data size shorter than the block", [](Bytes& f, bool) { PeFileBuilder::Put32(f, PeFileBuilder::kDataSize, 40); }},
    {"root length 0", [](Bytes& f, bool) { PeFileBuilder::Put16(f, PeFileBuilder::kBlockStart, 0); }},
    {"root length past the data", [](Bytes& f, bool) { PeFileBuilder::Put16(f, PeFileBuilder::kBlockStart, 0xFFFF); }},
    {"root key without its NUL", [](Bytes& f, bool) {
         // Root length 16: header and five key characters, none of them NUL.
         PeFileBuilder::Put16(f, PeFileBuilder::kBlockStart, 16);
     }},
};

TEST(VersionReader, DamagedPeFilesHaveNoVersionInformation) {
    Bytes block = VersionBlockBuilder::Standard(0x00020001, 5, "040904B0", {{"CompanyName", u"Made"}}, {0x04B00409});
    for (bool plus : {false, true}) {
        for (const Damage& d : kDamages) {
            Bytes f = PeFileBuilder::Build(block, plus);
            d.apply(f, plus);
            EXPECT_EQ(SizeOf(f), 0u) << d.what << (plus ? " (PE32+)" : "");
            EXPECT_FALSE(testutil::ProbeVersionData(f.data(), f.size())) << d.what;
        }
    }
}

// Windows' version functions take the RT_VERSION resource with identifier 1 only.
TEST(VersionReader, OnlyResourceIdentifierOneCounts) {
    Bytes block = VersionBlockBuilder::Standard(0x00020001, 5, "040904B0", {{"CompanyName", u"Made"}}, {0x04B00409});
    const std::size_t nameField = PeFileBuilder::kNameEntryOffset - 4;
    const struct {
        const char* what;
        std::uint32_t name;
        bool found;
    } cases[] = {
        {"identifier 1", 1, true},
        {"identifier 2", 2, false},
        {"identifier 0", 0, false},
        {"a name", 0x80000000u | 0x60, false},  // a string entry, whatever its text
    };
    for (bool plus : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (plus ? " (PE32+)" : ""));
            Bytes f = PeFileBuilder::Build(block, plus);
            PeFileBuilder::Put32(f, nameField, c.name);
            EXPECT_EQ(SizeOf(f) != 0, c.found);
            EXPECT_EQ(testutil::ProbeVersionData(f.data(), f.size()), c.found);
        }
    }
}

TEST(VersionReader, DamagedNodesInsideTheBlockAreNotFound) {
    Bytes good = VersionBlockBuilder::Standard(0x00020001, 5, "040904B0",
                                               {{"CompanyName", u"Made"}, {"FileDescription", u"Desc"}}, {0x04B00409});
    // Offsets of the nodes in the block: find the keys.
    auto find = [&](const std::string& key) {
        std::string wide;
        for (char c : key) wide += std::string{c, '\0'};
        std::string s(good.begin(), good.end());
        auto at = s.find(wide);
        EXPECT_NE(at, std::string::npos) << key;
        return at - 6;  // the node's header
    };
    std::size_t company = find("CompanyName");
    std::size_t table = find("040904B0");

    struct Case {
        const char* what;
        std::size_t at;
        std::uint16_t length;
        const char* gone;  // the path that must no longer be found
    } cases[] = {
        {"a string of length 0 (the walk would never move on)", company, 0,
         "\\StringFileInfo\\040904B0\\FileDescription"},
        {"a string shorter than its header", company, 5, "\\StringFileInfo\\040904B0\\FileDescription"},
        {"a string longer than its table", company, 0xFFF0, "\\StringFileInfo\\040904B0\\CompanyName"},
        {"a table longer than its parent", table, 0xFFF0, "\\StringFileInfo\\040904B0\\CompanyName"},
    };
    for (const Case& c : cases) {
        Bytes b = good;
        PeFileBuilder::Put16(b, c.at, c.length);
        Bytes f = PeFileBuilder::Build(b);
        testutil::TempDir dir;
        testutil::WriteFile(dir / "f.exe", std::string(f.begin(), f.end()));
        auto data = Load(dir / "f.exe");
        ASSERT_FALSE(data.empty()) << c.what;
        EXPECT_TRUE(Ask(data, "\\").ok) << c.what;
        EXPECT_TRUE(Ask(data, "\\VarFileInfo\\Translation").ok) << c.what;
        EXPECT_FALSE(Ask(data, c.gone).ok) << c.what;
        EXPECT_TRUE(testutil::ProbeVersionData(f.data(), f.size())) << c.what;
    }

    // A value that claims more than its node holds is cut at the node's end.
    Bytes b = good;
    PeFileBuilder::Put16(b, company + 2, 0x7FFF);
    Bytes f = PeFileBuilder::Build(b);
    testutil::TempDir dir;
    testutil::WriteFile(dir / "f.exe", std::string(f.begin(), f.end()));
    auto data = Load(dir / "f.exe");
    EXPECT_EQ(Ask(data, "\\StringFileInfo\\040904B0\\CompanyName").text, "Made");

    // Paths deeper than any block are refused without walking them.
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += "\\StringFileInfo";
    EXPECT_FALSE(Ask(data, deep.c_str()).ok);
}

TEST(VersionReader, DamagedElfFilesHaveNoVersionInformation) {
    NL_SKIP_WITHOUT_FIXTURES();
    std::string good = testutil::ReadFile(Fixture("linux.elf"));
    ASSERT_GT(good.size(), 64u);
    ASSERT_EQ(good[4], 2);  // ELFCLASS64, little-endian
    auto put16 = [](std::string& s, std::size_t at, std::uint16_t v) {
        s[at] = static_cast<char>(v & 0xFF);
        s[at + 1] = static_cast<char>(v >> 8);
    };
    auto put64 = [](std::string& s, std::size_t at, std::uint64_t v) {
        for (int i = 0; i < 8; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::uint64_t shoff = 0;
    for (int i = 7; i >= 0; --i) shoff = (shoff << 8) | static_cast<unsigned char>(good[0x28 + i]);
    std::uint16_t shnum = static_cast<unsigned char>(good[0x3C]) | (static_cast<unsigned char>(good[0x3D]) << 8);
    std::uint16_t strndx = static_cast<unsigned char>(good[0x3E]) | (static_cast<unsigned char>(good[0x3F]) << 8);
    std::size_t strtab = shoff + 64 * strndx;
    // The .versioninfo section header.
    std::size_t ver = 0;
    for (std::size_t i = 1; i < shnum; ++i) {
        std::size_t h = shoff + 64 * i;
        std::uint32_t name = 0;
        for (int k = 3; k >= 0; --k) name = (name << 8) | static_cast<unsigned char>(good[h + k]);
        std::uint64_t stroff = 0;
        for (int k = 7; k >= 0; --k) stroff = (stroff << 8) | static_cast<unsigned char>(good[strtab + 24 + k]);
        if (good.compare(stroff + name, 13, std::string(".versioninfo\0", 13)) == 0) ver = h;
    }
    ASSERT_NE(ver, 0u);

    struct Case {
        const char* what;
        std::function<void(std::string&)> apply;
    };
    const std::vector<Case> cases = {
        {"bad class", [&](std::string& s) { s[4] = 7; }},
        {"section table past the end", [&](std::string& s) { put64(s, 0x28, 0xFFFFFFFFFFFFFF00ull); }},
        {"no section table", [&](std::string& s) { put64(s, 0x28, 0); }},
        {"odd section header size", [&](std::string& s) { put16(s, 0x3A, 12); }},
        {"65535 sections", [&](std::string& s) { put16(s, 0x3C, 0xFFFF); }},
        {"string table index out of range", [&](std::string& s) { put16(s, 0x3E, 0xFFFE); }},
        {"string table past the end", [&](std::string& s) { put64(s, strtab + 24, 0xFFFFFFFFFFFFFFF0ull); }},
        {"section data past the end", [&](std::string& s) { put64(s, ver + 24, 0x7FFFFFFFFFFFFFFFull); }},
        {"section size 2^63", [&](std::string& s) { put64(s, ver + 32, 0x8000000000000000ull); }},
        {"section without contents", [&](std::string& s) { s[ver + 4] = 8; }},  // SHT_NOBITS
        {"name offset past the string table", [&](std::string& s) { s[ver + 3] = 0x7F; }},
    };
    testutil::TempDir dir;
    for (const Case& c : cases) {
        std::string bad = good;
        c.apply(bad);
        testutil::WriteFile(dir / "bad.elf", bad);
        EXPECT_EQ(plat::GetFileVersionInfoSizeA((dir / "bad.elf").c_str(), nullptr), 0u) << c.what;
    }
}

TEST(VersionReader, FoundFuzzInputsStaySafe) {
    // Inputs the fuzz target once found troublesome, kept as regressions.
    std::string folder = testutil::SourceDir() + "/tests/platform/posix/fuzz-regressions/version_fuzz";
    std::size_t count = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        if (!e.is_regular_file() || e.path().extension() == ".md") continue;
        std::string bytes = testutil::ReadFile(e.path().string());
        testutil::ProbeVersionData(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++count;
    }
    NL_SKIP_WITHOUT_FIXTURES();
    // And the fixtures, which seed the fuzzing.
    for (const char* name : {"app.exe", "app64.exe", "chinese.exe", "linux.elf"}) {
        std::string bytes = testutil::ReadFile(Fixture(name));
        EXPECT_TRUE(testutil::ProbeVersionData(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
            << name;
    }
    RecordProperty("regressions", static_cast<int>(count));
}

TEST(VersionReader, LanguageNames) {
    char buf[256];
    EXPECT_EQ(plat::VerLanguageNameA(0x0409, buf, sizeof buf), std::strlen("English (United States)"));
    EXPECT_STREQ(buf, "English (United States)");
    plat::VerLanguageNameA(0x0804, buf, sizeof buf);
    EXPECT_STREQ(buf, "Chinese (Simplified, PRC)");
    plat::VerLanguageNameA(0x0407, buf, sizeof buf);
    EXPECT_STREQ(buf, "German (Germany)");
    plat::VerLanguageNameA(0x0000, buf, sizeof buf);
    EXPECT_STREQ(buf, "Language Neutral");
    // Unknown identifiers are no error: they get the neutral name.
    EXPECT_EQ(plat::VerLanguageNameA(0x1234, buf, sizeof buf), std::strlen("Language Neutral"));
    EXPECT_STREQ(buf, "Language Neutral");
    EXPECT_EQ(plat::VerLanguageNameA(0xFFFFFFFFu, buf, sizeof buf), std::strlen("Language Neutral"));
    // Cut to the buffer.
    EXPECT_EQ(plat::VerLanguageNameA(0x0409, buf, 8), 7u);
    EXPECT_STREQ(buf, "English");
    EXPECT_EQ(plat::VerLanguageNameA(0x0409, buf, 0), 0u);
    // Never in the middle of a character: "Norwegian, Bokm" + U+00E5 (two bytes).
    EXPECT_EQ(plat::VerLanguageNameA(0x0414, buf, 17), 15u);
    EXPECT_STREQ(buf, "Norwegian, Bokm");
}

// Every locale's language identifier has its own name, not the neutral one.
TEST(VersionReader, LanguageNamesOfEveryLocale) {
    const std::pair<plat::DWORD, const char*> cases[] = {
        {0x0C1A, "Serbian (Cyrillic, Serbia and Montenegro (Former))"},
        {0x0417, "Romansh (Switzerland)"},
        {0x081A, "Serbian (Latin, Serbia and Montenegro (Former))"},
        {0x141A, "Bosnian (Latin, Bosnia and Herzegovina)"},
        {0x0428, "Tajik (Cyrillic, Tajikistan)"},
        {0x042F, "Macedonian (Former Yugoslav Republic of Macedonia)"},
        {0x0452, "Welsh (United Kingdom)"},
        {0x0486, "K'iche (Guatemala)"},
        {0x048C, "Dari (Afghanistan)"},
        {0x3801, "Arabic (U.A.E.)"},
        {0x540A, "Spanish (United States)"},
    };
    char buf[256];
    for (const auto& [id, name] : cases) {
        EXPECT_EQ(plat::VerLanguageNameA(id, buf, sizeof buf), std::strlen(name)) << std::hex << id;
        EXPECT_STREQ(buf, name);
    }
}

TEST(VersionReader, FullPathNames) {
    char buf[plat::kMaxPath];
    char* part = nullptr;
    std::string cwd = std::filesystem::current_path().string();

    plat::DWORD n = plat::GetFullPathNameA("file.exe", sizeof buf, buf, &part);
    EXPECT_EQ(std::string(buf, n), cwd + "/file.exe");
    EXPECT_STREQ(part, "file.exe");

    n = plat::GetFullPathNameA("/a/./b//c/../d.exe", sizeof buf, buf, &part);
    EXPECT_EQ(std::string(buf, n), "/a/b/d.exe");
    n = plat::GetFullPathNameA("/../..", sizeof buf, buf, nullptr);
    EXPECT_EQ(std::string(buf, n), "/");
    n = plat::GetFullPathNameA("/a/b/", sizeof buf, buf, &part);
    EXPECT_EQ(std::string(buf, n), "/a/b/");
    EXPECT_EQ(part, nullptr);

    // Too small: the size needed with the NUL, and the buffer untouched.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(plat::GetFullPathNameA("/abc", 4, buf, nullptr), 5u);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(plat::GetFullPathNameA("/abc", 5, buf, nullptr), 4u);
    EXPECT_STREQ(buf, "/abc");

    EXPECT_EQ(plat::GetFullPathNameA("", sizeof buf, buf, nullptr), 0u);
    EXPECT_EQ(plat::GetFullPathNameA(nullptr, sizeof buf, buf, nullptr), 0u);
}

}  // namespace
