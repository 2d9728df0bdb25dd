// GetFullPathNameA on Linux: the name is joined to the current folder when it is
// relative and its "." and ".." parts are resolved by the text alone, as Windows
// does; the file need not exist.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/VersionInfo.h"

namespace plat {
namespace {

bool CurrentFolder(std::string& out) {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        if (getcwd(buf.data(), buf.size())) {
            out = buf.data();
            return true;
        }
        if (errno != ERANGE || buf.size() > (1u << 20)) return false;
        buf.resize(buf.size() * 2);
    }
}

}  // namespace

DWORD GetFullPathNameA(const char* fileName, DWORD size, char* buffer, char** filePart) {
    if (!fileName || !*fileName) return 0;
    std::string name = fileName;
    std::string joined;
    if (name[0] == '/') {
        joined = name;
    } else {
        if (!CurrentFolder(joined)) return 0;
        joined += '/';
        joined += name;
    }
    bool trailingSlash = joined.size() > 1 && joined.back() == '/';

    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < joined.size()) {
        std::size_t j = joined.find('/', i);
        if (j == std::string::npos) j = joined.size();
        std::string part = joined.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string full;
    for (const auto& p : parts) full += "/" + p;
    if (full.empty()) full = "/";
    else if (trailingSlash) full += '/';

    if (full.size() >= size || !buffer) return static_cast<DWORD>(full.size() + 1);
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    if (filePart) {
        std::size_t slash = full.find_last_of('/');
        *filePart = slash + 1 < full.size() ? buffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(full.size());
}

}  // namespace plat
