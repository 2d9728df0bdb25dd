// Helpers for tests of objects that raise events on the message loop: running the
// loop until something happened or for a while, and catching the error report a
// call raises.
#pragma once

#include <functional>
#include <string>

#include "support/ErrorReport.h"

namespace testutil {

// Runs the message loop until done() holds; false when timeoutMs passed first.
bool Pump(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs the message loop for ms, so that anything late has its chance to arrive.
void Settle(int ms = 50);

// Runs call, which must raise; returns the report raised. When nothing is raised
// the test fails (naming `what`) and an empty report comes back.
nl::ErrorReport Raised(const std::function<void()>& call, const std::string& what = "");

// Expects call to raise this number, source and description (an empty source or
// description is not compared).
void ExpectRaised(const std::function<void()>& call, std::int32_t number, const std::string& source,
                  const std::string& description = "", const std::string& what = "");

}  // namespace testutil
