// The parts of the product's stand-in programs (tests/common/SpawnUtil.h) that
// are the same everywhere.
#include <cctype>

#include "tests/common/ScopedEnv.h"
#include "tests/common/SpawnUtil.h"

namespace testutil {

std::string BuildProgram(const std::string& name) {
    return BuildDir() + (kWindows ? "\\" : "/") + name + kProgramSuffix;
}

bool IsStartedMarker(const std::string& marker) {
    std::string id = marker;
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    if (id.empty() || id.size() + 2 < marker.size()) return false;
    for (char c : id)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::vector<std::string> TempFolderEnv(const std::string& folder) {
    return {std::string(kTempFolderVariable) + "=" + folder};
}

}  // namespace testutil
