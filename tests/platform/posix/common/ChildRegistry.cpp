#include "tests/common/ChildRegistry.h"

namespace testutil {

// The store is the test's own: nothing to put back.
ChildRegistry::ChildRegistry(const std::string& folder, const std::vector<std::string>&) : folder_(folder) {}

ChildRegistry::~ChildRegistry() = default;

std::vector<std::string> ChildRegistry::Env() const { return {"NOVALINK_REGISTRY=" + folder_}; }

}  // namespace testutil
