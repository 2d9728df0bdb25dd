#include "support/ErrorReport.h"

namespace nl {

RaisedError::RaisedError(ErrorReport report)
    : std::runtime_error(report.source.empty() ? report.description : report.source + ": " + report.description),
      report_(std::move(report)) {}

void Raise(std::int32_t number, const std::string& source, const std::string& description) {
    throw RaisedError(ErrorReport{number, source, description});
}

ErrorReport& LastError() {
    static ErrorReport last;
    return last;
}

void SetPendingError(std::int32_t number, const std::string& source, const std::string& description) {
    LastError() = ErrorReport{number, source, description};
}

}  // namespace nl
