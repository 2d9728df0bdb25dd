// Any bytes, taken as an address: parsed, resolved as a redirect's Location and
// split as the control's properties keep them. Shared by the fuzz target and the
// replay of its seeds and found inputs. True when the bytes parse; a broken
// promise (a control character, "@" or "#" in what would be sent, a port outside
// 1..65535, a path without its "/", a text that does not read back as itself) is
// described in *fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testutil {
bool ProbeUrl(const std::uint8_t* data, std::size_t size, std::string* fault);
}  // namespace testutil
