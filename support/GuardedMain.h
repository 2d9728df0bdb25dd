// The outermost frame of every program. An error report that no handler inside
// took, or any other failure, becomes one line on stderr and the program's exit
// code for it, instead of ending the process without a word.
#pragma once

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "support/ErrorReport.h"

namespace nl {

// Runs `body` (which returns the exit code) and answers `failureCode` with a
// message "<program>: ..." when something escapes it.
template <typename Body>
int GuardedMain(const char* program, int failureCode, Body&& body) {
    std::string message;
    try {
        return body();
    } catch (const RaisedError& e) {
        message = e.Description() + " (error " + std::to_string(e.Number()) +
                  (e.Source().empty() ? std::string() : " in " + e.Source()) + ")";
    } catch (const std::bad_alloc&) {
        message = "out of memory";
    } catch (const std::exception& e) {
        message = std::string("unexpected failure: ") + e.what();
    } catch (...) {
        message = "unexpected failure";
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    return failureCode;
}

}  // namespace nl
