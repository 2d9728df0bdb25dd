// The Windows Sockets errors a transfer meets, in plain words.
#pragma once

#include <cstdint>
#include <string>

namespace nl {

// "connection refused" for 10061 and the like; "" for a number it does not know.
std::string SocketErrorText(std::int32_t number);

}  // namespace nl
