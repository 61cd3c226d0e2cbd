// Program start of the Win32 window: COM for the folder picker, the common controls, the main
// window on the program's own folder, and the message loop until the window closes.
#include "MainWindow.h"
#include "Win32Desktop.h"

#include <commctrl.h>
#include <objbase.h>
#include <windows.h>

#include <string>

namespace {

// The folder of the running program, with a trailing separator.
std::filesystem::path ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path() / L"";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // Declared in the manifest as well; older systems and Wine refuse the call, which is harmless.
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    int status = 1;
    {
        quellmark::SystemDesktop desktop;
        quellmark::MainWindow window(desktop, ProgramFolder(), quellmark::RealFileSystem());
        desktop.SetOwner([&window] { return window.Handle(); });
        if (window.Create(showCommand)) {
            MSG message;
            BOOL got;
            while ((got = ::GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
                if (window.TranslateKeys(message)) continue;
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            status = got == 0 ? static_cast<int>(message.wParam) : 1;
        }
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return status;
}
