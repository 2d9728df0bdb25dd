#include "platform/PictureSource.h"

#include <unistd.h>

#include <climits>

namespace plat {

namespace {

bool IsFile(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

}  // namespace

std::string PictureSource(const std::string& picture) {
    if (!IsPictureName(picture)) return picture;
    // Relative to the program itself, wherever it was built or installed: the
    // build's pictures/ beside it, or an installation's share/novalink/pictures
    // beside its bin/.
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    std::string dir(exe, static_cast<std::size_t>(n));
    dir = dir.substr(0, dir.rfind('/'));
    const std::string file = "/" + picture + ".png";
    for (const std::string& folder : {dir + "/pictures", dir + "/../share/novalink/pictures"})
        if (IsFile(folder + file)) return folder + file;
    return {};
}

}  // namespace plat
