// The registry that the product's programs started by a test (novalink,
// novalink-reg) work on. On POSIX a private store in a folder of the test,
// which they find through Env(); on Windows the system's own registry, where
// the values named here are put back as they were when the object goes.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace testutil {

class ChildRegistry {
public:
    // values: "HKLM\\Software\\Brightloom\\Path" (root, key and value name).
    ChildRegistry(const std::string& folder, const std::vector<std::string>& values);
    ~ChildRegistry();
    ChildRegistry(const ChildRegistry&) = delete;
    ChildRegistry& operator=(const ChildRegistry&) = delete;

    // The environment entries the programs need.
    std::vector<std::string> Env() const;

private:
    std::string folder_;
    std::vector<std::shared_ptr<void>> saved_;
};

}  // namespace testutil
