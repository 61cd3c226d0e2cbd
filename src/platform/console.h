// What the console differs in between systems: on Windows the arguments arrive in UTF-16 and
// the console shows UTF-8 only when told to; elsewhere both are bytes as they are. Also the
// interrupts a console program is sent, and its standard input.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace quellmark {

// Output in UTF-8 and with "\n" line ends as written, whatever the console's code page.
void PrepareConsole();

// The program's arguments in UTF-8 (on POSIX, argv as it is).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Whether stdout or stderr is a terminal (on Windows, a console) rather than a pipe or a file.
bool StdoutIsTerminal();
bool StderrIsTerminal();

// Whether the terminal on stderr erases a line on ESC [ K. A Windows console is switched to
// take such sequences; one too old for that says no, and lines are overwritten with spaces.
bool StderrErasesLines();

// The first Ctrl-C (or console close, SIGTERM, SIGHUP) sets `interrupted` and `signal` (the
// signal's number; SIGINT for Ctrl-C, SIGTERM for a closing console); a second Ctrl-C ends the
// program at once. Windows ends a process as soon as its handler for a closing console returns,
// so that handler returns only when the program ends by itself: the drawings under way are
// finished and the summary and lists written first (as far as Windows' own time limit for a
// closing console allows).
void CatchInterrupts(std::atomic<bool>& interrupted, std::atomic<int>& signal);

}  // namespace quellmark
