// Runs arbitrary bytes, taken as a registry store file, through the store's
// reader: as they stand, and again with a correct check line in place of their
// last line, so that altered contents reach the parser rather than stop at the
// checksum. A store that parses is written out and read back: the second text
// must parse and equal the first, and every key must be found by its path.
// Shared by the fuzz target and the replay of its seeds and found inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testutil {

// Returns true when the bytes, as they stand, are a store that parses. Must never
// crash, hang or read outside the bytes; a broken round trip is described in
// *fault.
bool ProbeStore(const std::uint8_t* data, std::size_t size, std::string* fault);

}  // namespace testutil
