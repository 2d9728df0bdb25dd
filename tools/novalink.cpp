// The updater's entry point.
#include "app/MainModule.h"
#include "platform/App.h"

int main(int argc, char** argv) {
    plat::InitApp(argc, argv);
    return nl::Main();
}
