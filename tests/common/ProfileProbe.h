// Runs arbitrary bytes, taken as a profile (INI) file, through
// GetPrivateProfileStringA: the sections and keys the file seems to hold and a few
// fixed ones, each read into a roomy buffer and into one of a pseudo-random size,
// the same text again stored as UTF-16LE with its byte-order mark, and one
// WritePrivateProfileStringA into a copy, read back. Shared by the fuzz target and
// the replay of its seeds and found inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testutil {

// Returns true when at least one requested entry was found. Must never crash,
// hang or write outside the buffers; a result that breaks the calls' promises (a
// cut that is not a prefix, a wrong error code, text that reads differently as
// UTF-16LE, a write that does not read back or changes another entry) is
// described in *fault.
bool ProbeProfile(const std::uint8_t* data, std::size_t size, std::string* fault);

}  // namespace testutil
