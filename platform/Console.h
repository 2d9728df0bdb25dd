// The console a command-line tool writes to.
#pragma once

namespace plat {

// True when standard error is an interactive terminal; on Windows a console
// that takes a terminal's control sequences (turned on here where it can).
bool StderrIsTerminal();
// True when standard input is an interactive terminal (a console on Windows).
bool StdinIsTerminal();

// For a windowed program's lines (Windows): the standard streams it was handed
// none of, as a command prompt starts a windowed program, are opened on the
// console of the program that started it, when that has one. Streams handed over
// stay as they are; elsewhere nothing changes. Called by "/U" and by the
// terminal front end, not by a run in windows, which would otherwise end with
// that console.
void UseStartersConsole();
// Width of the terminal behind standard error in columns, or 80 when unknown.
int StderrColumns();

}  // namespace plat
