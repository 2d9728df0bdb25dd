// The staged update's cases that only POSIX has: file modes, symbolic links, a
// process's file-size limit, and temporary folders that are no full path (the
// fixture: tests/app/StagedUpdateFixture.h).
#include "tests/app/StagedUpdateFixture.h"

using namespace testutil;

TEST_F(StagedUpdate, TheReplacedProgramFileKeepsItsPermissions) {
    WriteProgram();
    Stage();
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedApplied) << Log();
    EXPECT_TRUE(ReadFile(program_) == package_) << "the program file is not the package byte for byte";
    EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(program_).permissions()), 0751u) << "the program file lost its permissions";
    EXPECT_TRUE(WaitForFile(Marker(), 5000)) << "the new program was not started";
}

TEST_F(StagedUpdate, AFailedCopyLeavesTheOldProgramWhole) {
    // The package is larger than the file-size limit the updater runs under, so
    // writing the copy fails part of the way, as on a full disk. The product
    // must stay as it was and the package stay staged for a later try.
    WriteProgram();
    package_ = "#!/bin/sh\n# " + std::string(256 * 1024, 'x') + "\n";
    Stage();
    SpawnOptions limited;
    limited.fileSizeLimit = 64 * 1024;
    ASSERT_EQ(Apply({"/U0"}, limited), nl::kStagedCopyFailed) << Log();
    ExpectReason("failed (error 112)");
    EXPECT_EQ(UpdateFlag(), "0x1") << "the package stays staged, so the flag is raised again";
    std::string left = ReadFile(program_);
    EXPECT_TRUE(left == kOldProgram)
        << "the program file was changed: " << left.size() << " bytes, starting " << left.substr(0, 40);
    EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_) << "the staged package was changed";
    EXPECT_FALSE(WaitForFile(Marker(), 300));

    // Without the limit the same run goes through.
    ASSERT_EQ(Finish(Start({"/U0"}), 10000), 0) << Log();
    EXPECT_TRUE(ReadFile(program_) == package_) << "the program file is not the package";
    EXPECT_FALSE(Exists(staging_));
}

TEST_F(StagedUpdate, ALinkCountsByTheFileItLeadsTo) {
    const std::string real = At("app/real-brightloom");
    std::filesystem::create_symlink(real, program_);  // leads nowhere yet
    Stage();
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedNoProgramFile) << Log();
    ExpectReason("no program file");
    EXPECT_TRUE(std::filesystem::is_symlink(program_)) << "the link was replaced";
    EXPECT_FALSE(Exists(real)) << "a file was made where the link leads";
    EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_);
    EXPECT_FALSE(WaitForFile(Marker(), 200));

    // Once it leads to the program file, that file is replaced and the link stays.
    WriteFile(real, kOldProgram);
    std::filesystem::permissions(real, static_cast<std::filesystem::perms>(0751));
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedApplied) << Log();
    EXPECT_TRUE(std::filesystem::is_symlink(program_));
    EXPECT_EQ(std::filesystem::read_symlink(program_), real);
    EXPECT_TRUE(ReadFile(real) == package_);
    EXPECT_FALSE(Exists(staging_));
    EXPECT_TRUE(WaitForFile(Marker(), 5000));
}

TEST_F(StagedUpdate, ATemporaryFolderThatIsNoFullPathIsNone) {
    ExpectPlantedPackageIgnored({".", "BLM_UPDATE/.."});
}
