#include "controls/ControlHost.h"

#include "support/ErrorReport.h"
#include "support/SupportErrors.h"

namespace nl {

bool ControlHost::PropertyChanged(const std::string& name) {
    ++changes_;
    return life_.Fire([&] {
        // A copy: the handler may replace itself or destroy the host.
        auto fn = OnPropertyChanged;
        if (fn) fn(name);
    });
}

void ControlHost::RefuseReadOnly(const std::string& source) const {
    if (designMode_) Raise(err::kSetNotPermitted, source, "Set not permitted");
    Raise(err::kSetNotSupported, source, "Set not supported at runtime");
}

}  // namespace nl
