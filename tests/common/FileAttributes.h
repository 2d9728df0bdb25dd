// File attributes the tests set the same way everywhere.
#pragma once

#include <string>

namespace testutil {

// Makes the file a hidden one, as listings report it: on POSIX its name must
// start with a dot, which is what hides it there (anything else fails the
// test); on Windows it gains FILE_ATTRIBUTE_HIDDEN.
void MarkHidden(const std::string& path);

}  // namespace testutil
