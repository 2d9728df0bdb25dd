// libFuzzer target for addresses (see UrlProbe), run by .ci/steps/50-fuzz.sh and
// seeded from url_fuzz_seeds/; inputs that failed are kept in
// fuzz-regressions/url_fuzz/ and replayed by platform.posix.fuzz_inputs.
#include <cstdio>
#include <cstdlib>

#include "tests/common/UrlProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string fault;
    testutil::ProbeUrl(data, size, &fault);
    if (fault.empty()) return 0;
    std::fprintf(stderr, "url: ");
    for (unsigned char c : fault) std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", c);
    std::fprintf(stderr, "\n");
    std::abort();
}
