#include "controls/ControlHost.h"

#include "support/ErrorReport.h"

namespace nl {

void ControlHost::PropertyChanged(const std::string& name) {
    ++changes_;
    if (OnPropertyChanged) OnPropertyChanged(name);
}

void ControlHost::RefuseReadOnly(const std::string& source) const {
    if (designMode_) Raise(387, source, "Set not permitted");
    Raise(382, source, "Set not supported at runtime");
}

}  // namespace nl
