// novalink-ver FILE...: prints the version information of each file, one
// "Member: value" line per member, with a blank line between files. Exits 1 when
// a file has no version information, 2 without a file to look at, and 3 when a
// file cannot be read at all (missing, a folder, no permission); such a file gets
// a message on stderr instead of its members.
#include <cstdio>
#include <string>

#include "platform/App.h"
#include "platform/Errors.h"
#include "platform/VersionInfo.h"
#include "platform/VisibleText.h"
#include "support/CFileVersionInfo.h"
#include "support/GuardedMain.h"
#include "support/ProgramVersion.h"

namespace {

constexpr plat::DWORD kNoVersionInformation = 1812;  // ERROR_RESOURCE_DATA_NOT_FOUND

// A file's texts are anyone's: nothing in them may drive the terminal.
void Line(const char* member, const std::string& value) {
    std::printf("%s: %s\n", member, plat::VisibleText(value).c_str());
}

std::string Reason(plat::DWORD error) {
    switch (static_cast<plat::LONG>(error)) {
        case plat::PL_ERROR_FILE_NOT_FOUND: return "no such file";
        case plat::PL_ERROR_PATH_NOT_FOUND: return "no such folder";
        case plat::PL_ERROR_ACCESS_DENIED: return "access denied, or not a regular file";
        default: return "error " + std::to_string(error);
    }
}

// Why the file cannot be read, or "" when it can (with or without version information).
std::string Unreadable(const char* path) {
    plat::DWORD handle = 0;
    if (plat::GetFileVersionInfoSizeA(path, &handle) != 0) return "";
    plat::DWORD error = plat::GetLastError();
    return error == kNoVersionInformation ? "" : Reason(error);
}

const char kUsage[] =
    "usage: novalink-ver FILE...\n"
    "Prints the version information of each file (PE or ELF) as \"Member: value\" lines.\n"
    "Exit codes: 0 every file has version information, 1 a file has none,\n"
    "2 no file given, 3 a file cannot be read, 4 an unexpected failure.\n"
    "  --help, -h   this text\n"
    "  --version    the version\n"
    "(A file named like an option: ./--help.)\n";

int Main(int argc, char** argv) {
    plat::InitApp(argc, argv);
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (argc == 2) {
        const std::string arg = argv[1];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            nl::PrintVersion("novalink-ver");
            return 0;
        }
    }
    int status = 0;
    bool printed = false;
    for (int i = 1; i < argc; ++i) {
        std::string why = Unreadable(argv[i]);
        if (!why.empty()) {
            std::fflush(stdout);
            std::fprintf(stderr, "novalink-ver: cannot read %s: %s\n", plat::VisibleText(argv[i]).c_str(), why.c_str());
            status = 3;
            continue;
        }
        // A fresh object per file, so that no text is carried over from the one before.
        nl::CFileVersionInfo info;
        info.SetFullPathName(argv[i]);
        if (printed) std::printf("\n");
        printed = true;
        Line("FullPathName", info.FullPathName().empty() ? argv[i] : info.FullPathName());
        Line("Available", info.Available() ? "True" : "False");
        if (!info.Available() && status == 0) status = 1;
        Line("VerStructure", info.VerStructure());
        Line("VerFile", info.VerFile());
        Line("VerProduct", info.VerProduct());
        Line("FileFlags", info.FileFlags());
        Line("FileOS", info.FileOS());
        Line("FileType", info.FileType());
        Line("FileSubType", info.FileSubType());
        Line("Language", info.Language());
        Line("Comments", info.Comments());
        Line("CompanyName", info.CompanyName());
        Line("FileDescription", info.FileDescription());
        Line("FileVersion", info.FileVersion());
        Line("InternalName", info.InternalName());
        Line("LegalCopyright", info.LegalCopyright());
        Line("LegalTrademarks", info.LegalTrademarks());
        Line("LegalTrademarks1", info.PredefinedValue(13));
        Line("LegalTrademarks2", info.PredefinedValue(14));
        Line("OriginalFilename", info.OriginalFilename());
        Line("ProductName", info.ProductName());
        Line("ProductVersion", info.ProductVersion());
        Line("PrivateBuild", info.PrivateBuild());
        Line("SpecialBuild", info.SpecialBuild());
    }
    std::fflush(stdout);
    return status;
}

}  // namespace

// An error report that nothing above took: a message and its own exit code.
int main(int argc, char** argv) { return nl::GuardedMain("novalink-ver", 4, [&] { return Main(argc, argv); }); }
