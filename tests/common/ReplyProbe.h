// Runs arbitrary bytes, taken as everything a server sent, through the reply
// handling the download control does on them: the header up to its blank line
// (at most kMaxReplyHeader bytes), the status code, the verdict with the size it
// announces, single header values, and the body through the chunked decoder, fed
// whole, byte by byte and in uneven pieces. Shared by the fuzz target and the
// replay of its seeds and of the inputs it has found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testutil {

// Returns true when the bytes held a whole reply header. Must never crash, hang
// or read outside the bytes; a result that breaks the parsers' promises (a status
// outside 0..999, success for another status than 200 or 206, a decoding that
// depends on how the body was cut) is described in *fault.
bool ProbeReply(const std::uint8_t* data, std::size_t size, std::string* fault);

}  // namespace testutil
