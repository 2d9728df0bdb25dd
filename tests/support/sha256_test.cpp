// SHA-256 against the FIPS 180-4 examples and the system's sha256sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "support/Sha256.h"
#include "tests/common/TestUtil.h"

using nl::Sha256;

TEST(Sha256, FipsExamplesWholeAndInPieces) {
    struct Case {
        std::string message, digest;
    } cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 60));
        EXPECT_EQ(Sha256::Of(c.message), c.digest);
        // Fed in uneven pieces across block boundaries; the object starts over after a digest.
        Sha256 h;
        for (size_t step : {1u, 63u, 64u, 65u, 1000u}) {
            for (size_t at = 0; at < c.message.size(); at += step) h.Update(c.message.substr(at, step));
            EXPECT_EQ(h.HexDigest(), c.digest) << "pieces of " << step;
        }
    }
}

TEST(Sha256, FilesAgreeWithSha256sumAndDigestsCompareWithoutCase) {
    testutil::TempDir dir;
    std::string data(200003, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + (i >> 7));
    testutil::WriteFile(dir / "pkg", data);
    // The reference is the system's own sha256sum, which names the file by its own path.
    const std::string systemPath = testutil::SystemPath(dir / "pkg");
    if (systemPath.empty()) GTEST_SKIP() << "no sha256sum of the system's own reaches " << dir.path();
    auto r = testutil::Run({"/usr/bin/sha256sum", systemPath});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ASSERT_EQ(r.out.substr(std::min<size_t>(64, r.out.size())), "  " + systemPath + "\n");
    std::string digest;
    ASSERT_TRUE(Sha256::OfFile(dir / "pkg", digest));
    EXPECT_EQ(digest, r.out.substr(0, 64));
    EXPECT_FALSE(Sha256::OfFile(dir / "missing", digest));
    EXPECT_FALSE(Sha256::OfFile(dir.path(), digest)) << "a folder has no contents to digest";

    std::string upper = Sha256::Of("abc");
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(Sha256::SameDigest(upper, Sha256::Of("abc")));
    EXPECT_FALSE(Sha256::SameDigest(Sha256::Of("abd"), Sha256::Of("abc")));
    EXPECT_FALSE(Sha256::SameDigest(Sha256::Of("abc").substr(0, 63), Sha256::Of("abc").substr(0, 63)));
    std::string bad = Sha256::Of("abc");
    bad[5] = 'g';
    EXPECT_FALSE(Sha256::SameDigest(bad, bad)) << "not hex digits";
}
