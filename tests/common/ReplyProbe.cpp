#include "tests/common/ReplyProbe.h"

#include <algorithm>
#include <vector>

#include "http/ChunkedDecoder.h"
#include "http/HttpHeader.h"

namespace testutil {
namespace {

struct Decoded {
    std::vector<std::uint8_t> out;
    bool done = false;
    bool failed = false;
    std::string error;

    bool operator==(const Decoded&) const = default;
};

// Feeds the body in pieces whose sizes come from `cut` (0 means the rest at once).
template <typename Cut>
Decoded Decode(const std::uint8_t* body, std::size_t n, Cut cut) {
    nl::ChunkedDecoder decoder;
    Decoded d;
    std::size_t at = 0;
    bool going = true;
    while (at < n && going) {
        std::size_t piece = cut();
        piece = piece == 0 ? n - at : std::min(piece, n - at);
        going = decoder.Feed(body + at, piece, d.out);
        at += piece;
    }
    d.done = decoder.Done();
    d.failed = decoder.Failed();
    d.error = decoder.Error();
    return d;
}

}  // namespace

bool ProbeReply(const std::uint8_t* data, std::size_t size, std::string* fault) {
    fault->clear();
    const std::string all(reinterpret_cast<const char*>(data), std::min(size, nl::kMaxReplyHeader));
    const std::size_t end = all.find("\r\n\r\n");
    const bool whole = end != std::string::npos;
    // The control judges only a whole header; the parsers must survive any text.
    const std::string head = whole ? all.substr(0, end + 4) : all;

    const std::int32_t code = nl::ReplyStatusCode(head);
    if (code < 0 || code > 999) *fault = "status code " + std::to_string(code) + " out of range";
    constexpr std::int64_t kUnset = -7;
    std::int64_t fileSize = kUnset;
    const std::string verdict = nl::CheckResponseStatus(head, fileSize);
    // Only a 200 or a 206 is taken (and not every one of them: a 206 may be refused
    // for its range); a refused reply announces no size.
    const bool success = verdict == "success";
    if (success && code != 200 && code != 206) *fault = "status " + std::to_string(code) + " taken as success";
    if (!success && code != 200 && code != 206 && fileSize != kUnset) *fault = "a refused reply set the size";
    if (fileSize != kUnset && fileSize < 0) *fault = "negative size " + std::to_string(fileSize);
    for (const char* name : {"HTTP/1.", "Content-Length", "Content-Range", "Transfer-Encoding", "Location", ""}) {
        const std::string value = nl::GetHeaderValue(head, name);
        std::int32_t n = 0;
        if (nl::LeadingNumber(value, n) && n < 0) *fault = "LeadingNumber gave " + std::to_string(n);
    }
    (void)nl::IsChunkedReply(head);

    // The body goes through the decoder whatever the header says, so that any
    // bytes reach it: whole, byte by byte and in pieces of uneven sizes.
    const std::size_t bodyAt = whole ? end + 4 : size;
    const std::uint8_t* body = data + bodyAt;
    const std::size_t n = size - bodyAt;
    const Decoded once = Decode(body, n, [] { return std::size_t{0}; });
    const Decoded bytes = Decode(body, n, [] { return std::size_t{1}; });
    std::uint32_t seed = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 16777619u;
    const Decoded pieces = Decode(body, n, [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::size_t>(1 + (seed >> 16) % 23);
    });
    if (!(once == bytes) || !(once == pieces)) *fault = "the decoded body depends on how it was cut";
    if (once.out.size() > n) *fault = "the decoder produced more bytes than it was given";
    if (once.done && once.failed) *fault = "the decoder is both done and failed";
    return whole;
}

}  // namespace testutil
