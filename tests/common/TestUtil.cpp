#include "tests/common/TestUtil.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Files.h"

namespace testutil {

namespace {

// Paths are UTF-8, as the platform's are.
std::filesystem::path Fs(const std::string& path) { return plat::Utf8Path(path); }

}  // namespace

TempDir::~TempDir() {
    std::error_code ec;
    // Files and folders made read-only by a test would stop the removal.
    for (auto it = std::filesystem::recursive_directory_iterator(Fs(path_), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        MakeRemovable(plat::Utf8PathText(it->path()));
    std::filesystem::remove_all(Fs(path_), ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(Fs(path), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(Fs(path), std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

}  // namespace testutil
