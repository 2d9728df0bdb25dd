// Error reports: a 32-bit number, a source ("CSocket.Connect") and a description.
// Raised errors travel as RaisedError exceptions; "pending" errors are recorded in
// the process-wide last-error record without raising, for the caller to inspect.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "support/SupportErrors.h"

namespace nl {

struct ErrorReport {
    std::int32_t number = 0;
    std::string source;
    std::string description;

    bool IsSet() const { return number != 0; }
    void Clear() { *this = ErrorReport{}; }
};

class RaisedError : public std::runtime_error {
public:
    explicit RaisedError(ErrorReport report);
    const ErrorReport& Report() const { return report_; }
    std::int32_t Number() const { return report_.number; }
    const std::string& Source() const { return report_.source; }
    const std::string& Description() const { return report_.description; }

private:
    ErrorReport report_;
};

[[noreturn]] void Raise(std::int32_t number, const std::string& source, const std::string& description);

// The process-wide last-error record (UI thread only).
ErrorReport& LastError();

// Records an error in the last-error record without raising it.
void SetPendingError(std::int32_t number, const std::string& source, const std::string& description);

// Runs one step of a continue-after-failure handler: a raised error is recorded in
// the last-error record and swallowed. Returns true when the step succeeded.
template <typename F>
bool TryStep(F&& step) {
    try {
        step();
        return true;
    } catch (const RaisedError& e) {
        LastError() = e.Report();
    } catch (const std::exception& e) {
        SetPendingError(err::kInvalidCall, "", e.what());
    }
    return false;
}

}  // namespace nl
