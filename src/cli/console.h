// What the console differs in between systems: on Windows the arguments arrive in UTF-16 and
// the console shows UTF-8 only when told to; elsewhere both are bytes as they are.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace quellmark::cli {

// Output in UTF-8 and with "\n" line ends as written, whatever the console's code page.
void PrepareConsole();

// The program's arguments in UTF-8 (on POSIX, argv as it is).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The first Ctrl-C (or console close, SIGTERM, SIGHUP) sets `interrupted` and `signal`; a
// second one ends the program at once.
void CatchInterrupts(std::atomic<bool>& interrupted, std::atomic<int>& signal);

}  // namespace quellmark::cli
