// The console on POSIX systems: arguments and output as they are, signals for interrupts.
#include "console.h"

#include <csignal>

#include <unistd.h>

namespace quellmark {

namespace {
std::atomic<bool>* gInterrupted = nullptr;
std::atomic<int>* gSignal = nullptr;
}  // namespace

void PrepareConsole() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

bool StdoutIsTerminal() { return ::isatty(1) != 0; }
bool StderrIsTerminal() { return ::isatty(2) != 0; }
bool StderrErasesLines() { return true; }

void CatchInterrupts(std::atomic<bool>& interrupted, std::atomic<int>& signal) {
    gInterrupted = &interrupted;
    gSignal = &signal;
    // Without SA_RESTART, so a call that waits (a lock, a read) comes back and sees the flag.
    struct sigaction action {};
    action.sa_handler = [](int caught) {
        *gSignal = caught;
        *gInterrupted = true;
        std::signal(caught, SIG_DFL);  // the second one ends the program
    };
    sigemptyset(&action.sa_mask);
    for (int each : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(each, &action, nullptr);
}

}  // namespace quellmark
