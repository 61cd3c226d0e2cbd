// The console on Windows: UTF-16 arguments, a console switched to UTF-8, and console control
// events for interrupts.
#include "console.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

namespace quellmark {

namespace {

std::atomic<bool>* gInterrupted = nullptr;
std::atomic<int>* gSignal = nullptr;

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

}  // namespace

void PrepareConsole() {
    ::SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> Utf8Arguments(int, char**) {
    std::vector<std::string> out;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 0; wide && i < count; ++i) {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(n > 0 ? static_cast<std::size_t>(n) : 1u, '\0');
        if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), n, nullptr, nullptr);
        text.resize(text.size() - 1);  // the terminating zero
        out.push_back(std::move(text));
    }
    ::LocalFree(wide);
    return out;
}

bool StdoutIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }
bool StderrIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

bool StderrErasesLines() {
    static const bool erases = [] {
        const HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
        static DWORD before = 0;
        if (!::GetConsoleMode(console, &before)) return false;
        if (before & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
        if (!::SetConsoleMode(console, before | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
        // The console outlives the program: the shell gets it back as it was.
        std::atexit([] { ::SetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), before); });
        return true;
    }();
    return erases;
}

void CatchInterrupts(std::atomic<bool>& interrupted, std::atomic<int>& signal) {
    gInterrupted = &interrupted;
    gSignal = &signal;
    // Ctrl-C, Ctrl-Break, closing the console window, logging off and shutting down all come
    // here, on a thread of their own.
    ::SetConsoleCtrlHandler(
        [](DWORD event) -> BOOL {
            const bool closing = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
            const bool again = gInterrupted->exchange(true);
            if (!again) *gSignal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
            if (!closing) return again ? FALSE : TRUE;  // a second key press: the default, which ends
            // The process ends when this returns; it ends anyway when main returns, which
            // ends this thread with it, so until then this thread waits.
            ::Sleep(INFINITE);
            return TRUE;
        },
        TRUE);
}

}  // namespace quellmark
