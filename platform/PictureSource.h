// Where a front end takes a picture from (platform/Forms.h, AddImage): one of
// the program's own, by its name, or a PNG file by its path. Internal to
// platform/.
#pragma once

#include <string>

namespace plat {

// True for the name of one of the program's own pictures: letters, digits, '_'
// and '-', nothing else (a path has a separator or a dot).
inline bool IsPictureName(const std::string& picture) {
    if (picture.empty()) return false;
    for (char c : picture)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    return true;
}

// Linux: the PNG file of a picture name (pictures/<name>.png beside the program,
// else ../share/novalink/pictures/<name>.png from its folder, as installed), ""
// when there is none; a path as it is. Windows: a picture name upper-cased, the name of the program's resource
// (RCDATA) that holds the PNG; a path as it is.
std::string PictureSource(const std::string& picture);

}  // namespace plat
