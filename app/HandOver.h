// The hand-over of a downloaded package, one for the download window and for
// "/U": the package, opened once, must have the expected length and digest and
// pass the update key's verdict; then that same open file is copied next to the
// program file and renamed over it in one step. A package that cannot be put in
// place (the program file in use) stays staged with "Update" = 1; one that was
// put in place takes the staging folder with it, and the program is started.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Types.h"

namespace nl {

class StagedPackage;

class HandOver {
public:
    enum class Outcome {
        Copied,     // the package is the program file now; the staging folder is gone
        Staged,     // the copy failed (copyError says why): it stays staged, "Update" = 1
        BadLength,  // not the expected length (or not there)
        BadDigest,  // another digest than expected, or unreadable
        Untrusted,  // the update key's verdict refused it
    };

    struct Expected {
        std::int64_t length = 0;  // the whole package's length in bytes
        std::string digest;       // 64 hex digits; "" when none is known
        // "" when the package may be put in place, else the reason; unset when no
        // update key is configured.
        std::function<std::string(StagedPackage&)> verdict;
        // Called once the length and digest hold, before the verdict.
        std::function<void()> whole;
    };

    // Checks `package` against `expected` and puts it in place over `target`;
    // `why` gets the reason for every outcome but Copied (for Staged: why the
    // flag "Update" could not be set, "" when it was), and `copyError` the
    // system's error for Staged.
    static Outcome Run(StagedPackage& package, const Expected& expected, const std::string& target,
                       const std::string& stagingFolder, std::string& why, plat::DWORD& copyError);

    // "Update" = 1: the product is to ask for "/U". "" when it is set, else why
    // it could not be.
    static std::string FlagStaged();

    // Starts the program that was put in place, with a normal window.
    static void Start(const std::string& target);
};

}  // namespace nl
