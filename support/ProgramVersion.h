// The programs' version and the answer to --version.
#pragma once

namespace nl {

// "1.0.0": project(VERSION) in CMakeLists.txt.
const char* ProgramVersion();
// Prints "<program> <version>" on stdout.
void PrintVersion(const char* program);

}  // namespace nl
