// The fuzz targets' seeds and the inputs they once failed on, replayed through the
// same probes: every seed is a real sample and must be accepted, and no input may
// break a probe's promises (a crash or a sanitizer report ends the test).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/ProfileProbe.h"
#include "tests/common/ReplyProbe.h"
#include "tests/common/TestUtil.h"
#include "tests/common/UrlProbe.h"
#include "tests/platform/posix/common/StoreProbe.h"

namespace {

using Probe = bool (*)(const std::uint8_t*, std::size_t, std::string*);

struct Target {
    const char* folder;  // below tests/
    const char* name;
    Probe probe;
};

const Target kTargets[] = {
    {"http", "reply_fuzz", testutil::ProbeReply},
    {"platform/posix", "registry_store_fuzz", testutil::ProbeStore},
    {"platform", "profile_fuzz", testutil::ProbeProfile},
    {"http", "url_fuzz", testutil::ProbeUrl},
};

std::vector<std::string> Inputs(const std::string& folder) {
    std::vector<std::string> files;
    if (!std::filesystem::is_directory(folder)) return files;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.is_regular_file() && e.path().extension() != ".md") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzInputs : public testing::TestWithParam<Target> {
protected:
    std::string Folder() const { return testutil::SourceDir() + "/tests/" + GetParam().folder; }
    bool Run(const std::string& file) {
        const std::string bytes = testutil::ReadFile(file);
        std::string fault;
        const bool accepted =
            GetParam().probe(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &fault);
        EXPECT_EQ(fault, "") << file;
        return accepted;
    }
};

TEST_P(FuzzInputs, SeedsAreAcceptedAndKeepThePromises) {
    const auto seeds = Inputs(Folder() + "/" + GetParam().name + "_seeds");
    ASSERT_GE(seeds.size(), 3u) << "the fuzz target has too few seeds";
    for (const auto& file : seeds) EXPECT_TRUE(Run(file)) << file << " was not accepted";
}

TEST_P(FuzzInputs, FoundInputsStaySafe) {
    const auto found = Inputs(Folder() + "/fuzz-regressions/" + GetParam().name);
    for (const auto& file : found) Run(file);
    RecordProperty("regressions", static_cast<int>(found.size()));
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzInputs, testing::ValuesIn(kTargets),
                         [](const testing::TestParamInfo<Target>& target) { return std::string(target.param.name); });

}  // namespace
