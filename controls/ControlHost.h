// What a container provides to the controls it carries: the design-mode flag, the
// notification that a persisted property changed, and the refusal of assignments
// to read-only properties (387 in design mode, 382 at run time).
#pragma once

#include <functional>
#include <string>

#include "support/Liveness.h"

namespace nl {

class ControlHost {
public:
    bool DesignMode() const { return designMode_; }
    void SetDesignMode(bool design) { designMode_ = design; }

    // Raised with the property's name whenever a persisted value changed.
    std::function<void(const std::string& name)> OnPropertyChanged;
    // Raises OnPropertyChanged; false when its handler destroyed the host.
    bool PropertyChanged(const std::string& name);
    int ChangeCount() const { return changes_; }

    // Refuses an assignment to a read-only property: error 387 in design mode,
    // 382 at run time. `source` names the control and property.
    [[noreturn]] void RefuseReadOnly(const std::string& source) const;

private:
    bool designMode_ = false;
    int changes_ = 0;
    Liveness life_;
};

}  // namespace nl
