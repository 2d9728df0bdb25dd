// The updater's entry point.
#include "app/MainModule.h"
#include "platform/App.h"
#include "support/GuardedMain.h"

// What ends the updater when an error report escapes everything that handles
// them: apart from the codes "/U" names for itself.
constexpr int kUnexpectedFailure = 70;

int main(int argc, char** argv) {
    return nl::GuardedMain("novalink", kUnexpectedFailure, [&] {
        plat::InitApp(argc, argv);
        return nl::Main();
    });
}
