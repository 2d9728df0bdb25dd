// libFuzzer target for the reply header and the chunked decoder: any bytes, taken as a
// server's reply, go through the header parsers and the body through the decoder (see
// ReplyProbe). Built and run by .ci/steps/50-fuzz.sh, seeded with replies recorded from
// nginx (reply_fuzz_seeds/); inputs that failed are kept in
// tests/http/fuzz-regressions/reply_fuzz/ and replayed by the test
// platform.posix.fuzz_inputs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/common/ReplyProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string fault;
    testutil::ProbeReply(data, size, &fault);
    if (!fault.empty()) {
        std::fprintf(stderr, "reply: ");
        for (unsigned char c : fault) std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", c);
        std::fprintf(stderr, "\n");
        std::abort();
    }
    return 0;
}
