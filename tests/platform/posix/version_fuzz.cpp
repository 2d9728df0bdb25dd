// libFuzzer target for the version-resource reader: any bytes, taken as a program
// file, go through the whole reader (see VersionProbe). Built and run by
// .ci/steps/50-fuzz.sh; crashes found land in
// tests/platform/posix/fuzz-regressions/version_fuzz/.
#include <cstddef>
#include <cstdint>

#include "tests/platform/posix/common/VersionProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    testutil::ProbeVersionData(data, size);
    return 0;
}
