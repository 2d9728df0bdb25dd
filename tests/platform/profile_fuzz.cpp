// libFuzzer target for the profile-file reader: any bytes, taken as a profile file, are
// read with GetPrivateProfileStringA and written to once (see ProfileProbe). Built and
// run by .ci/steps/50-fuzz.sh, seeded with catalogues and settings files
// (profile_fuzz_seeds/); inputs that failed are kept in
// tests/platform/fuzz-regressions/profile_fuzz/ and replayed by the test
// platform.posix.fuzz_inputs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/common/ProfileProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string fault;
    testutil::ProbeProfile(data, size, &fault);
    if (!fault.empty()) {
        std::fprintf(stderr, "profile: ");
        for (unsigned char c : fault) std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", c);
        std::fprintf(stderr, "\n");
        std::abort();
    }
    return 0;
}
