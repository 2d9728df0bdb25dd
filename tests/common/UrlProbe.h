// Runs arbitrary bytes, taken as an address, through the address type: parsed
// alone, resolved as a redirect's Location against a fixed address, and split
// into the pieces the control's properties keep. Shared by the fuzz target and
// the replay of its seeds and of the inputs it has found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testutil {

// Returns true when the bytes parse as an address. Must never crash, hang or read
// outside the bytes; an address that breaks the rules' promises (a control
// character, "@" or a fragment in what would be sent, a port outside 1..65535, a
// path not starting with "/", a text that does not read back as the same
// address) is described in *fault.
bool ProbeUrl(const std::uint8_t* data, std::size_t size, std::string* fault);

}  // namespace testutil
