#include "platform/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace plat {

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

int StderrColumns() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

}  // namespace plat
