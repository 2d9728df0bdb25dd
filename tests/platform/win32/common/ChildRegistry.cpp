// The programs work on the system's registry; each named value is saved here
// and put back when the test ends.
#include "tests/common/ChildRegistry.h"

#include <stdexcept>

#include "tests/platform/win32/common/SavedValue.h"

namespace testutil {

ChildRegistry::ChildRegistry(const std::string& folder, const std::vector<std::string>& values) : folder_(folder) {
    for (const std::string& v : values) {
        const auto first = v.find('\\'), last = v.rfind('\\');
        const std::string root = v.substr(0, first);
        HKEY hkey = root == "HKLM" ? HKEY_LOCAL_MACHINE : root == "HKCU" ? HKEY_CURRENT_USER : nullptr;
        if (!hkey || first == last) throw std::invalid_argument("not a registry value: " + v);
        saved_.push_back(std::make_shared<SavedValue>(hkey, v.substr(first + 1, last - first - 1), v.substr(last + 1)));
    }
}

ChildRegistry::~ChildRegistry() = default;

std::vector<std::string> ChildRegistry::Env() const { return {}; }

}  // namespace testutil
