// The console a command-line tool writes to.
#pragma once

namespace plat {

// True when standard error is an interactive terminal; on Windows a console
// that takes a terminal's control sequences (turned on here where it can).
bool StderrIsTerminal();
// True when standard input is an interactive terminal (a console on Windows).
bool StdinIsTerminal();
// Width of the terminal behind standard error in columns, or 80 when unknown.
int StderrColumns();

}  // namespace plat
