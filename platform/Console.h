// The console a command-line tool writes to.
#pragma once

namespace plat {

// True when standard error is an interactive terminal.
bool StderrIsTerminal();
// Width of the terminal behind standard error in columns, or 80 when unknown.
int StderrColumns();

}  // namespace plat
