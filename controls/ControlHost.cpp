#include "controls/ControlHost.h"

#include "support/ErrorReport.h"
#include "support/SupportErrors.h"

namespace nl {

void ControlHost::PropertyChanged(const std::string& name) {
    ++changes_;
    if (OnPropertyChanged) OnPropertyChanged(name);
}

void ControlHost::RefuseReadOnly(const std::string& source) const {
    if (designMode_) Raise(err::kSetNotPermitted, source, "Set not permitted");
    Raise(err::kSetNotSupported, source, "Set not supported at runtime");
}

}  // namespace nl
