// Windows' own desktop behind Win32Desktop: MessageBoxW, MessageBeep, the common folder picker
// (IFileOpenDialog with FOS_PICKFOLDERS), ShellExecuteExW and the keyboard's Escape state.
#include "Win32Desktop.h"

#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <string_view>

namespace quellmark {

namespace {

const wchar_t* CaptionOf(BoxKind kind) {
    switch (kind) {
        case BoxKind::Error: return L"エラー";
        case BoxKind::Information: return L"情報";
        case BoxKind::Confirmation: return L"確認";
        case BoxKind::Warning: return L"警告";
    }
    return L"";
}

UINT IconOf(BoxKind kind) {
    switch (kind) {
        case BoxKind::Error: return MB_ICONERROR;
        case BoxKind::Information: return MB_ICONINFORMATION;
        case BoxKind::Confirmation: return MB_ICONQUESTION;
        case BoxKind::Warning: return MB_ICONWARNING;
    }
    return 0;
}

// A box taller than the screen cannot be shown at all (Windows makes it, and no one sees it,
// while it holds the window): past this many lines the rest is counted, not shown.
constexpr std::size_t kMaxBoxLines = 15;

std::wstring Shortened(const std::wstring& text) {
    std::size_t at = 0;
    for (std::size_t line = 0; line < kMaxBoxLines; ++line) {
        at = text.find(L'\n', at);
        if (at == std::wstring::npos) return text;
        ++at;
    }
    const std::size_t more =
        static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(), L'\n')) + 1;
    return text.substr(0, at) + L"…（ほか " + std::to_wstring(more) + L" 行）";
}

// Releases a COM object when it goes.
template <typename T>
class ComPointer {
public:
    ~ComPointer() {
        if (p_) p_->Release();
    }
    T** put() { return &p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

Answer SystemDesktop::MessageBox(const std::string& titleText, const std::string& boxText, BoxKind kind,
                                 Buttons buttons) {
    const std::wstring title = Wide(titleText);
    const std::wstring text = Shortened(Wide(boxText));
    const UINT type = IconOf(kind) | (buttons == Buttons::YesNo ? MB_YESNO : MB_OK);
    switch (::MessageBoxW(Owner(), text.c_str(), title.empty() ? CaptionOf(kind) : title.c_str(), type)) {
        case IDYES: return Answer::Yes;
        case IDNO: return Answer::No;
        case IDOK: return Answer::Ok;
        default: return Answer::Closed;
    }
}

void SystemDesktop::DismissBox() {
    struct Search {
        HWND owner;
        HWND box;
    } search{Owner(), nullptr};
    if (!search.owner) return;
    // The thread's windows come topmost first: the first visible box the window owns is the
    // one up.
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            wchar_t type[16] = {};
            ::GetClassNameW(hwnd, type, 16);
            if (std::wstring_view(type) != L"#32770" || ::GetWindow(hwnd, GW_OWNER) != s.owner ||
                !::IsWindowVisible(hwnd)) {
                return TRUE;
            }
            s.box = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    // MessageBoxW then returns IDCANCEL, which is no answer of the user's.
    if (search.box) ::EndDialog(search.box, IDCANCEL);
}

void SystemDesktop::Beep() { ::MessageBeep(MB_OK); }

std::string SystemDesktop::ChooseFolder(const std::string& titleText, const std::string& startText) {
    const std::wstring title = Wide(titleText);
    const std::wstring start = Wide(startText);
    ComPointer<IFileOpenDialog> dialog;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                  reinterpret_cast<void**>(dialog.put())))) {
        return {};
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(title.c_str());
    if (!start.empty()) {
        ComPointer<IShellItem> folder;
        if (SUCCEEDED(::SHCreateItemFromParsingName(start.c_str(), nullptr, IID_IShellItem,
                                                    reinterpret_cast<void**>(folder.put())))) {
            dialog->SetFolder(folder.operator->());
        }
    }
    if (FAILED(dialog->Show(Owner()))) return {};
    ComPointer<IShellItem> chosen;
    if (FAILED(dialog->GetResult(chosen.put()))) return {};
    PWSTR path = nullptr;
    if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) return {};
    std::wstring folder = path;
    ::CoTaskMemFree(path);
    return Utf8(folder);
}

void SystemDesktop::OpenWithShell(const std::filesystem::path& file, std::function<void(OpenProblem)> failed) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = Owner();
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&info)) return;
    const DWORD error = ::GetLastError();
    if (!failed) return;
    if (error == ERROR_NO_ASSOCIATION || error == SE_ERR_NOASSOC) {
        failed(OpenProblem::NoApplication);
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        failed(OpenProblem::Gone);
    } else if (error != ERROR_CANCELLED) {
        failed(OpenProblem::Other);
    }
}

bool SystemDesktop::EscapeDown() {
    // The high bit: down now. (The low bit, pressed since someone last asked, would keep a
    // press from long ago; presses reach the form as input of their own.)
    return (::GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
}

}  // namespace quellmark
