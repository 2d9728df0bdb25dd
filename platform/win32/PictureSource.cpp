#include "platform/PictureSource.h"

namespace plat {

std::string PictureSource(const std::string& picture) {
    if (!IsPictureName(picture)) return picture;
    std::string name = picture;
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

}  // namespace plat
