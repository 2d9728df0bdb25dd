// A control's timer: while enabled, OnTimer is raised every Interval milliseconds
// from the message loop. Setting Enabled or Interval restarts the count. An
// interval of 0 stops the ticks without changing Enabled.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Types.h"
#include "support/Liveness.h"

namespace nl {

class Timer {
public:
    Timer();
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    std::int32_t Interval() const { return interval_; }
    void SetInterval(std::int32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    std::function<void()> OnTimer;

private:
    void Apply();

    plat::UINT id_ = 0;
    std::int32_t interval_ = 0;
    bool enabled_ = false;
    Liveness life_;
};

}  // namespace nl
