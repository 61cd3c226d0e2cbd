// The console on POSIX and on Windows: arguments, output encoding and interrupts.
#include "console.h"

#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

namespace quellmark::cli {

namespace {
std::atomic<bool>* gInterrupted = nullptr;
std::atomic<int>* gSignal = nullptr;
}  // namespace

void PrepareConsole() {
#ifdef _WIN32
    ::SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
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
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

void CatchInterrupts(std::atomic<bool>& interrupted, std::atomic<int>& signal) {
    gInterrupted = &interrupted;
    gSignal = &signal;
#ifdef _WIN32
    // Ctrl-C, Ctrl-Break and closing the console window all come here, on a thread of their own.
    ::SetConsoleCtrlHandler(
        [](DWORD event) -> BOOL {
            if (gInterrupted->exchange(true)) return FALSE;  // the second one: the default, which ends
            *gSignal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
            return TRUE;
        },
        TRUE);
#else
    for (int each : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(each, [](int caught) {
            *gSignal = caught;
            *gInterrupted = true;
            std::signal(caught, SIG_DFL);
        });
    }
#endif
}

}  // namespace quellmark::cli
