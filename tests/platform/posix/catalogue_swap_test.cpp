// A staged catalogue swapped while the package is hashed: the digest compared is
// still the one whose signature was checked. The swap lands when the package's
// first bytes are read (inotify), so it falls inside the hash every time.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/SignedCatalogue.h"
#include "app/StagedPackage.h"
#include "app/UpdateTrust.h"
#include "platform/Signature.h"
#include "support/Sha256.h"
#include "tests/common/RegistrySandbox.h"

using nl::SignedCatalogue;

TEST(CatalogueSwap, TheDigestComparedIsTheOneWhoseSignatureWasChecked) {
    testutil::RegistrySandbox registry;
    testutil::TempDir dir;
    const std::string staging = dir / "BLM_UPDATE", catalogue = staging + "/BLMNL.CFG";
    std::filesystem::create_directory(staging);
    const std::string planted(64 << 20, 'p');
    testutil::WriteFile(staging + "/BLMNL.PTX", planted);
    testutil::WriteFile(staging + "/BLMNL.INI", "[INFO]\r\nEdition=Desktop\r\n");
    std::string privateKey, publicKey;
    ASSERT_TRUE(plat::GenerateP256(privateKey, publicKey));
    auto body = [](const std::string& digest) {
        return "[Info]\r\nVER=2.01.0105\r\nIssued=" + SignedCatalogue::IssuedNow() + "\r\n[Desktop]\r\nSHA256=" + digest +
               "\r\n";
    };
    // The signed catalogue names another package; the planted one's follows it in.
    testutil::WriteFile(catalogue, SignedCatalogue::Sign(body(nl::Sha256::Of("the real package")), privateKey, publicKey));
    testutil::WriteFile(dir / "forged", body(nl::Sha256::Of(planted)));

    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, (staging + "/BLMNL.PTX").c_str(), IN_ACCESS), 0);
    bool swapped = false;
    std::thread swapper([&] {
        pollfd p{watch, POLLIN, 0};
        char event[4096];
        if (poll(&p, 1, 20000) == 1 && read(watch, event, sizeof event) > 0)
            swapped = std::rename((dir / "forged").c_str(), catalogue.c_str()) == 0;
    });
    nl::StagedPackage package(staging + "/BLMNL.PTX");
    const std::string refusal =
        nl::UpdateTrust::CheckStaged(SignedCatalogue::KeyText(publicKey), staging, staging + "/BLMNL.INI", package);
    swapper.join();
    close(watch);
    ASSERT_TRUE(swapped) << "the package was never read";
    EXPECT_NE(refusal.find("is not the one the signed catalogue names"), std::string::npos) << refusal;
}
