#include "controls/ControlHost.h"

#include "support/ErrorReport.h"

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
    if (designMode_) Raise(387, source, "Set not permitted");
    Raise(382, source, "Set not supported at runtime");
}

}  // namespace nl
