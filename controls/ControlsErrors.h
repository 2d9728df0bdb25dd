// Error numbers of the controls.
#pragma once

#include <cstdint>

namespace nl::err {

// PingHost.Ping while a ping runs, in the host's design mode: "Busy now!".
constexpr std::int32_t kPingBusy = 1001;

}  // namespace nl::err
