// Signed updates end to end: novalink-publish makes the key and the catalogue,
// nginx serves them, and build/novalink, with the key as HKLM UpdateKey, takes
// only what the key signed (the fixture: tests/app/InteractiveUpdateFixture.h).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/SignedCatalogue.h"
#include "platform/Signature.h"
#include "tests/app/InteractiveUpdateFixture.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

using namespace testutil;

namespace {

class SignedUpdate : public InteractiveUpdate {
protected:
    void SetUp() override {
        InteractiveUpdate::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        for (const char* k : {"key", "other"})
            ASSERT_EQ(Publish({"keygen", "--private", Key(k, "pem"), "--public", Key(k, "pub")}).exitCode, 0);
        Versioned(*keys_ / "package", "Brightloom Desktop", "2.1.0.6");
        package_ = ReadFile(*keys_ / "package");
    }

    std::string Key(const std::string& name, const std::string& ext) const { return *keys_ / (name + "." + ext); }

    // A fresh product with the update key; the catalogue that novalink-publish
    // writes with `args` (over `seed`, when given) served at /m_update/.
    std::string Serve(const std::vector<std::string>& args, const std::string& seed = "") {
        NewSandbox();
        Install("Brightloom Desktop");
        std::string key = ReadFile(Key("key", "pub"));
        Reg({"add", "HKLM\\Software\\Brightloom", "/v", "UpdateKey", "/t", "REG_SZ", "/d", key.substr(0, 130), "/f"});
        const std::string cfg = *root_ / "blmnl.cfg";
        if (!seed.empty()) WriteFile(cfg, seed);
        std::vector<std::string> all{"catalogue", "--package", *keys_ / "package", "--download", Url("signed/pkg.bin"),
                                     "--readme", Url("news.html"), "-o", cfg};
        all.insert(all.end(), args.begin(), args.end());
        RunResult r = Publish(all);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        nginx_->Put("signed/pkg.bin", package_);
        nginx_->Put("m_update/blmnl.cfg", ReadFile(cfg));
        return ReadFile(cfg);
    }

    // The served catalogue with the value of `key` set to `value` and signed
    // anew, by a key made here that becomes the update key: what the publisher's
    // tool would not write.
    void Resign(std::string& cfg, const std::string& key, const std::string& value) {
        static std::string privateKey, publicKey;
        static const bool made = plat::GenerateP256(privateKey, publicKey);
        ASSERT_TRUE(made);
        std::string body = nl::SignedCatalogue::Unsigned(cfg);
        const std::size_t at = body.find("\n" + key + "=") + key.size() + 2;
        body.replace(at, body.find('\r', at) - at, value);
        cfg = nl::SignedCatalogue::Sign(body, privateKey, publicKey);
        Reg({"add", "HKLM\\Software\\Brightloom", "/v", "UpdateKey", "/t", "REG_SZ", "/d",
             nl::SignedCatalogue::KeyText(publicKey), "/f"});
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(nginx_->Port()) + "/" + path;
    }

    std::unique_ptr<TempDir> keys_ = std::make_unique<TempDir>();
    std::string package_;
};

struct Case {
    const char* what;
    std::vector<std::string> publish;                    // novalink-publish catalogue's own options
    std::function<void(std::string&, std::string&)> alter;  // the served catalogue and package
    int exit;
    const char* said;
    const char* seed = "";
    const char* lastIssued = "";  // HKCU CatalogueIssued before the run
};

}  // namespace

TEST_F(SignedUpdate, OnlyWhatTheKeySignedIsApplied) {
    const std::string key = Key("key", "pem"), other = Key("other", "pem");
    auto none = [](std::string&, std::string&) {};
    const Case cases[] = {
        {"signed", {"--edition", "Desktop", "--key", key}, none, 0, kRestart},
        {"one changed byte", {"--edition", "Desktop", "--key", key},
         [](std::string& cfg, std::string&) { cfg[cfg.find("news.html")] = 'N'; }, nl::kRunUntrusted,
         "signature does not hold"},
        {"a section after the signature", {"--edition", "Desktop", "--key", key},
         [](std::string& cfg, std::string&) { cfg += "[Desktop]\r\nDOWNLOAD=http://127.0.0.1:1/x\r\n"; },
         nl::kRunUntrusted, "something follows the catalogue's signature"},
        {"another key", {"--edition", "Desktop", "--key", other}, none, nl::kRunUntrusted, "signature does not hold"},
        {"no signature", {"--edition", "Desktop"}, none, nl::kRunUntrusted, "the catalogue is not signed"},
        {"an older Issued", {"--edition", "Desktop", "--key", key, "--issued", "2026-01-01T00:00:00Z"}, none,
         nl::kRunUntrusted, "before the last one accepted", "", "2026-06-01T00:00:00Z"},
        {"no SHA256 in the edition's section", {"--edition", "Standard", "--key", key}, none, nl::kRunUntrusted,
         "[Desktop] has no SHA256"},
        {"Issued two days ahead of the clock", {"--edition", "Desktop", "--key", key},
         [&](std::string& cfg, std::string&) { Resign(cfg, "Issued", nl::SignedCatalogue::TimeText(nl::SignedCatalogue::Now() + 2 * 86400)); },
         nl::kRunUntrusted, "more than a day after this machine's clock"},
        {"Issued hours ahead of the clock", {"--edition", "Desktop", "--key", key},
         [&](std::string& cfg, std::string&) { Resign(cfg, "Issued", nl::SignedCatalogue::TimeText(nl::SignedCatalogue::Now() + 3 * 3600)); },
         0, kRestart},
        {"past its Expires", {"--edition", "Desktop", "--key", key, "--issued", "2026-01-01T00:00:00Z", "--expires", "1d"},
         none, nl::kRunUntrusted, "the catalogue expired 2026-01-02T00:00:00Z"},
        {"before its Expires", {"--edition", "Desktop", "--key", key, "--expires", "30d"}, none, 0, kRestart},
        {"a changed package", {"--edition", "Desktop", "--key", key},
         [](std::string&, std::string& pkg) { pkg[100] ^= 1; }, nl::kRunBadPackage, "SHA-256 digest does not match"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string cfg = Serve(c.publish, c.seed), pkg = package_;
        c.alter(cfg, pkg);
        nginx_->Put("m_update/blmnl.cfg", cfg);
        nginx_->Put("signed/pkg.bin", pkg);
        if (*c.lastIssued)
            Reg({"add", "HKCU\\Software\\Brightloom", "/v", "CatalogueIssued", "/t", "REG_SZ", "/d", c.lastIssued,
                 "/f"});

        RunResult r = Update({}, "i\n");
        EXPECT_EQ(r.exitCode, c.exit) << r.out;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        if (c.exit == 0) {
            EXPECT_TRUE(ReadFile(program_) == package_) << "the package was not applied";
            EXPECT_FALSE(Exists(staging_));
        } else {
            EXPECT_TRUE(ReadFile(program_) == installed_) << "the program file was touched";
            EXPECT_FALSE(Exists(Staged())) << "a package was staged";
        }
        // Refused catalogues fetch nothing more and stage nothing.
        EXPECT_EQ(Requests().size(), c.exit == nl::kRunUntrusted ? 1u : 2u);
        if (c.exit == nl::kRunUntrusted) {
            // A refusal of its own, not a connection failure.
            EXPECT_NE(r.out.find("Novalink: The update is refused because the update key does not vouch for it: "),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(r.out.find(kConnectionError), std::string::npos) << r.out;
            EXPECT_FALSE(Exists(staging_));
        }
    }
}

TEST_F(SignedUpdate, TheVersionIsWrittenAsTheUpdaterReadsIt) {
    const std::string cfg = Serve({"--edition", "Desktop"});
    RunResult ver = testutil::Run({BuildDir() + "/novalink-ver", *keys_ / "package"}, {}, 20);
    ASSERT_NE(ver.out.find("VerProduct: 2.01.0006\n"), std::string::npos) << ver.out;
    EXPECT_NE(cfg.find("\r\nVER=2.01.0006\r\n"), std::string::npos) << cfg;
}

TEST_F(SignedUpdate, SlashUAppliesOnlyWithTheStagedVerifiedCatalogue) {
    Serve({"--edition", "Desktop", "--key", Key("key", "pem")});
    // The product runs, so the package stays staged with its verified catalogue.
    ProcessId product = Spawn({program_, "60"});
    children_.push_back(product);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    RunResult r = Update({}, "i\n");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ASSERT_TRUE(Exists(staging_ + "/BLMNL.CFG"));
    Kill(product);

    // A package planted in its place (with its completion record) is refused,
    // and so is a catalogue signed by another key.
    const std::string planted = PackageFor("Desktop");
    const std::string state = State();
    WriteFile(Staged(), planted);
    WriteFile(staging_ + "/BLMNL.INI",
              "[INFO]\r\nComplete=" + std::to_string(planted.size()) + "\r\nEdition=Desktop\r\n");
    r = testutil::Run({BuildDir() + "/novalink", "/U0"}, env_, 30);
    EXPECT_EQ(r.exitCode, nl::kStagedUntrusted) << r.out;
    EXPECT_NE(r.out.find("is not the one the signed catalogue names"), std::string::npos) << r.out;
    EXPECT_TRUE(ReadFile(program_) == installed_) << "the program file was touched";
    EXPECT_TRUE(ReadFile(Staged()) == planted) << "the staging folder was touched";

    ASSERT_EQ(Publish({"catalogue", "--package", Staged(), "--version", "9.00.0000", "--download", "http://x/y", "--edition",
                       "Desktop", "--key", Key("other", "pem"), "-o", *root_ / "other.cfg"})
                  .exitCode,
              0);
    WriteFile(staging_ + "/BLMNL.CFG", ReadFile(*root_ / "other.cfg"));
    r = testutil::Run({BuildDir() + "/novalink", "/U0"}, env_, 30);
    EXPECT_EQ(r.exitCode, nl::kStagedUntrusted) << r.out;
    EXPECT_NE(r.out.find("signature does not hold"), std::string::npos) << r.out;
    EXPECT_TRUE(ReadFile(program_) == installed_) << "the program file was touched";

    // The package and the catalogue the run verified are applied.
    WriteFile(Staged(), package_);
    WriteFile(staging_ + "/BLMNL.INI", state);
    WriteFile(staging_ + "/BLMNL.CFG", ReadFile(*root_ / "blmnl.cfg"));
    r = testutil::Run({BuildDir() + "/novalink", "/U0"}, env_, 30);
    EXPECT_EQ(r.exitCode, nl::kStagedApplied) << r.out;
    EXPECT_TRUE(ReadFile(program_) == package_) << "the package was not applied";
    EXPECT_FALSE(Exists(staging_));
}

TEST_F(SignedUpdate, ThePrivateKeyIsTheUsersAloneAndNeverOverwritten) {
    const std::string pem = Key("key", "pem"), before = ReadFile(pem);
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(pem).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Publish({"keygen", "--private", pem, "--public", *keys_ / "new.pub"}).exitCode, 2);
    EXPECT_EQ(ReadFile(pem), before);
    EXPECT_FALSE(Exists(*keys_ / "new.pub"));
}
