#include "app/HandOver.h"

#include <cstdio>

#include "app/MainModule.h"
#include "app/ProductKey.h"
#include "app/StagedPackage.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "support/ErrorReport.h"
#include "support/Sha256.h"

namespace nl {

HandOver::Outcome HandOver::Run(StagedPackage& package, const Expected& expected, const std::string& target,
                                const std::string& stagingFolder, std::string& why, plat::DWORD& copyError) {
    if (!package.IsOpen()) {
        why = "no package " + package.Path();
        return Outcome::BadLength;
    }
    if (expected.length <= 0 || package.Length() != expected.length) {
        why = package.Path() + " has " + std::to_string(package.Length()) + " bytes, the download had " +
              std::to_string(expected.length);
        return Outcome::BadLength;
    }
    if (!expected.digest.empty()) {
        const std::string actual = package.Digest();
        if (actual.empty()) {
            why = "cannot read " + package.Path();
            return Outcome::BadDigest;
        }
        if (!Sha256::SameDigest(expected.digest, actual)) {
            why = package.Path() + " has the SHA-256 digest " + actual + ", the download had " + expected.digest;
            return Outcome::BadDigest;
        }
    }
    if (expected.whole) expected.whole();
    if (expected.verdict) {
        why = expected.verdict(package);
        if (!why.empty()) return Outcome::Untrusted;
    }

    // From here every failing step is skipped and execution goes on.
    const bool existed = plat::GetFileAttributesA(target) != plat::PL_INVALID_FILE_ATTRIBUTES;
    // What an earlier run left when it was killed during its copy.
    if (!plat::PathIsRelativeA(target)) plat::RemoveStaleCopies(target);
    if (!package.CopyTo(target)) {
        copyError = plat::GetLastError();
        package.Close();
        why = FlagStaged();
        return Outcome::Staged;
    }
    package.Close();
    // A new program file (the setup program) must be startable.
    if (!existed) plat::MarkExecutable(target);
    CleanFolder(stagingFolder);
    return Outcome::Copied;
}

std::string HandOver::FlagStaged() { return WriteUpdateFlag(1); }

void HandOver::Start(const std::string& target) { plat::StartProcess(target, "", plat::PL_SW_SHOWNORMAL); }

}  // namespace nl
