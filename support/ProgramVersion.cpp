#include "support/ProgramVersion.h"

#include <cstdio>

// The build defines it from project(VERSION); a compile outside it has none.
#ifndef NOVALINK_VERSION
#define NOVALINK_VERSION "unknown"
#endif

namespace nl {

const char* ProgramVersion() { return NOVALINK_VERSION; }

void PrintVersion(const char* program) { std::printf("%s %s\n", program, NOVALINK_VERSION); }

}  // namespace nl
