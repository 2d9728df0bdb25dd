// libFuzzer target for the registry store reader: any bytes, taken as a store file, are
// parsed, and a store that parses is written and read back (see StoreProbe). Built and
// run by .ci/steps/50-fuzz.sh, seeded with stores written by novalink-reg
// (registry_store_fuzz_seeds/); inputs that failed are kept in
// tests/platform/posix/fuzz-regressions/registry_store_fuzz/ and replayed by the test
// platform.posix.fuzz_inputs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/platform/posix/common/StoreProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string fault;
    testutil::ProbeStore(data, size, &fault);
    if (!fault.empty()) {
        std::fprintf(stderr, "store: ");
        for (unsigned char c : fault) std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", c);
        std::fprintf(stderr, "\n");
        std::abort();
    }
    return 0;
}
