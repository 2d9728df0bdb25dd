// The updater's entry point.
#include "platform/App.h"

int main(int argc, char** argv) {
    plat::InitApp(argc, argv);
    return 0;
}
