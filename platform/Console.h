// The console a command-line tool writes to.
#pragma once

namespace plat {

// True when standard error is an interactive terminal; on Windows a console
// that takes a terminal's control sequences (turned on here where it can).
bool StderrIsTerminal();
// True when standard input is an interactive terminal (a console on Windows).
bool StdinIsTerminal();
// True when standard output is an interactive terminal (a console on Windows).
bool StdoutIsTerminal();

// For a windowed program's lines (Windows): the standard streams it was handed
// none of, as a command prompt starts a windowed program, are opened on the
// console of the program that started it, when that has one. Streams handed over
// stay as they are; elsewhere nothing changes. Called by "/U" and by the
// terminal front end, not by a run in windows, which would otherwise end with
// that console.
void UseStartersConsole();
// Width of the terminal behind standard error in columns, or 80 when unknown.
int StderrColumns();

// Standard output passes bytes as they are (Windows: no CR added before LF), and
// a write to it that nobody reads any more (a closed pipe) fails with an error
// instead of ending the process (POSIX: SIGPIPE is ignored).
void SetStdoutBinary();

// From here on Ctrl+C, SIGTERM and SIGHUP (on Windows the console's Ctrl+C,
// Ctrl+Break and close) no longer end the process at once: they are recorded,
// and a wait for events (PumpUntil) returns to its caller within a second, so
// that a tool can clean up and end itself.
void CatchInterrupts();
// The exit code a shell gives for the signal caught (128 + its number: 130 for
// Ctrl+C), or 0 when none was.
int InterruptExitCode();

}  // namespace plat
