// libFuzzer target for the address type: any bytes, taken as an address, are
// parsed, resolved as a redirect's Location and split (see UrlProbe). Built and
// run by .ci/steps/50-fuzz.sh, seeded with the addresses in url_fuzz_seeds/;
// inputs that failed are kept in tests/http/fuzz-regressions/url_fuzz/ and
// replayed by the test platform.posix.fuzz_inputs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/common/UrlProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string fault;
    testutil::ProbeUrl(data, size, &fault);
    if (!fault.empty()) {
        std::fprintf(stderr, "url: ");
        for (unsigned char c : fault) std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", c);
        std::fprintf(stderr, "\n");
        std::abort();
    }
    return 0;
}
