#include "platform/PictureSource.h"

#include <unistd.h>

#include <climits>

namespace plat {

namespace {

bool IsFile(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

}  // namespace

std::string PictureSource(const std::string& picture) {
    if (!IsPictureName(picture)) return picture;
    const std::string file = "/" + picture + ".png";
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<std::size_t>(n));
        dir = dir.substr(0, dir.rfind('/'));
        if (IsFile(dir + "/pictures" + file)) return dir + "/pictures" + file;
    }
#ifdef NOVALINK_PICTURES
    if (IsFile(NOVALINK_PICTURES + file)) return NOVALINK_PICTURES + file;
#endif
    return {};
}

}  // namespace plat
