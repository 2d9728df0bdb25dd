// Facts about the running program: its command line and executable name.
#pragma once

#include <string>

namespace plat {

// Records argv; called once at the top of main(). On Windows it spells the
// arguments again in UTF-8, as every text of the platform is.
void InitApp(int argc, char** argv);

// The command line without the program name: the arguments joined by single blanks.
std::string CommandLine();

// Full path of the executable, and its file name without folder and extension.
std::string ExePath();
std::string ExeName();

}  // namespace plat
