// The updater's entry point.
#include <cstdio>
#include <string>

#include "app/MainModule.h"
#include "platform/App.h"
#include "platform/Console.h"
#include "support/GuardedMain.h"
#include "support/ProgramVersion.h"

// What ends the updater when an error report escapes everything that handles
// them: apart from the codes "/U" names for itself.
constexpr int kUnexpectedFailure = 70;

const char kUsage[] =
    "usage: novalink [/A | /D | /S | /P | /E | /T]\n"
    "       novalink /U PID\n"
    "Checks the update server for a newer Brightloom, offers it and installs it.\n"
    "The edition comes from the product's version resource (/A, and any other\n"
    "switch), or the switch: /D Desktop, /S Standard, /P Professional,\n"
    "/E Evaluation, /T trial. /U PID applies a staged package after process PID\n"
    "has ended. NOVALINK_UI=text or gtk chooses the front end.\n"
    "Exit codes of the update: 0 up to date, updated or staged, 10 the catalogue or\n"
    "the package could not be had, 11 cancelled, 12 the package was not what was\n"
    "announced, 13 no private temporary folder or a file could not be written,\n"
    "14 another run is under way, 15 the catalogue is refused by the update key,\n"
    "16 the registry cannot be read, or Update cannot be set for a staged package,\n"
    "70 an unexpected failure, 130 a second Ctrl+C. Each failure also writes one\n"
    "line on stderr that says why; on a terminal a run that ends well says last,\n"
    "on stdout, \"Outcome: \" and what it did. /U exits 0 applied or nothing staged,\n"
    "1 no PID or not a number, 2 no private temporary folder, 3 no program file,\n"
    "4 an incomplete package, 5 the program file in use, 6 the copy failed,\n"
    "7 another run, 8 refused by the update key, 9 the registry cannot be read.\n"
    "  --help, /?    this text\n"
    "  --version     the version\n";

int main(int argc, char** argv) {
    // Answered before anything else: no registry, no network, no window.
    if (argc == 2) {
        const std::string arg = argv[1];
        // A windowed program on Windows: its answer goes to the starter's console.
        if (arg == "--help" || arg == "/?" || arg == "--version") plat::UseStartersConsole();
        if (arg == "--help" || arg == "/?") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            nl::PrintVersion("novalink");
            return 0;
        }
    }
    return nl::GuardedMain("novalink", kUnexpectedFailure, [&] {
        plat::InitApp(argc, argv);
        return nl::Main();
    });
}
