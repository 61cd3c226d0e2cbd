// The system helpers on Windows, and the path and error helpers the Windows files share
// (win32_paths.h).
#include "system.h"
#include "win32_paths.h"

#include <algorithm>
#include <cctype>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <process.h>

namespace quellmark {

namespace fs = std::filesystem;

std::error_code Win32Error(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return std::make_error_code(std::errc::no_such_file_or_directory);
        case ERROR_ACCESS_DENIED: return std::make_error_code(std::errc::permission_denied);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return std::make_error_code(std::errc::file_exists);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return std::make_error_code(std::errc::device_or_resource_busy);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return std::make_error_code(std::errc::no_space_on_device);
        case ERROR_DIRECTORY: return std::make_error_code(std::errc::not_a_directory);
        case ERROR_DIR_NOT_EMPTY: return std::make_error_code(std::errc::directory_not_empty);
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return std::make_error_code(std::errc::invalid_argument);
        case ERROR_FILENAME_EXCED_RANGE: return std::make_error_code(std::errc::filename_too_long);
        case ERROR_NOT_SAME_DEVICE: return std::make_error_code(std::errc::cross_device_link);
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return std::make_error_code(std::errc::not_enough_memory);
        case ERROR_WRITE_PROTECT: return std::make_error_code(std::errc::read_only_file_system);
        case ERROR_TOO_MANY_OPEN_FILES: return std::make_error_code(std::errc::too_many_files_open);
        case ERROR_CANT_RESOLVE_FILENAME: return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_CALL_NOT_IMPLEMENTED: return std::make_error_code(std::errc::function_not_supported);
        default: return {static_cast<int>(code), std::system_category()};
    }
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring FullPathName(const std::wstring& text) {
    std::wstring full(std::max<std::size_t>(text.size() + 1, MAX_PATH), L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(text.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) return text;
        if (n < full.size()) return full.substr(0, n);
        full.resize(n);  // n is the size the full path needs, its terminating zero counted
    }
}

std::size_t RootLength(const std::wstring& text) {
    auto skipParts = [&](std::size_t at, int parts) {
        for (; parts > 0 && at < text.size(); --parts) {
            const std::size_t end = text.find_first_of(L"\\/", at);
            at = end == std::wstring::npos ? text.size() : end + 1;
        }
        return at;
    };
    const bool twoSeparators = text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]);
    if (twoSeparators && text.size() >= 4 && (text[2] == L'?' || text[2] == L'.') && IsSeparator(text[3])) {
        const bool share = text.compare(4, 4, L"UNC\\") == 0;
        return share ? skipParts(8, 2) : skipParts(4, 1);
    }
    if (twoSeparators) return skipParts(2, 2);
    return text.size() >= 3 && text[1] == L':' && IsSeparator(text[2]) ? 3 : 0;
}

std::wstring Win32Path(const fs::path& path) {
    std::wstring text = path.native();
    if (text.size() < 240 || text.starts_with(L"\\\\?\\")) return text;
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
        text = FullPathName(text);
        if (text.starts_with(L"\\\\?\\")) return text;
        // \\.\ is the device namespace, which takes the same names as \\?\ but parses them.
        if (text.starts_with(L"\\\\.\\")) return L"\\\\?\\" + text.substr(4);
        // A share, \\server\share\...: the prefixed form names it under UNC.
        return L"\\\\?\\UNC\\" + text.substr(2);
    }
    // A name such as "con" stays a file here, where Win32 would make the path a device's.
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    if (ec) return text;
    return L"\\\\?\\" + full.lexically_normal().make_preferred().native();
}

std::string DeviceNameReason(const fs::path& name) {
    // The device is named by what stands before the first dot, trailing spaces dropped.
    const std::wstring& text = name.native();
    std::wstring base = text.substr(0, text.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    std::string upper;
    for (const wchar_t c : base) {
        if (c > 0x7f) return {};
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const bool numbered = upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
                          upper[3] >= '1' && upper[3] <= '9';
    if (numbered || upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") {
        return "Windows keeps the name " + upper + " for a device";
    }
    return {};
}

fs::path ParentFolder(const fs::path& path) {
    // Up by the text: the standard library's parent_path would go on from a share or a \\?\ path
    // to the current drive's root.
    const std::wstring& text = path.native();
    const std::size_t root = RootLength(text);
    if (root == 0) return path.has_relative_path() ? path.parent_path() : fs::path();
    if (text.size() <= root) return {};
    const std::size_t cut = text.find_last_of(L"\\/");
    return text.substr(0, cut == std::wstring::npos || cut < root ? root : cut);
}

long ProcessId() { return static_cast<long>(_getpid()); }

namespace {

// A process's creation time in 100-nanosecond units, or 0 when it cannot be opened.
std::uint64_t CreationOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) return {};
    return PathText(fs::path(std::wstring(name, size)));
}

ProcessStamp ThisProcessStamp() {
    ProcessStamp s;
    s.pid = ::GetCurrentProcessId();
    s.started = CreationOf(::GetCurrentProcess());
    if (s.started != 0) s.machine = HostName();
    return s;
}

Liveness ProcessLiveness(const ProcessStamp& stamp) {
    const ProcessStamp self = ThisProcessStamp();
    if (self.machine.empty() || stamp.machine != self.machine) return Liveness::Unknown;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(stamp.pid));
    if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER ? Liveness::Dead : Liveness::Unknown;
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    const std::uint64_t created = CreationOf(process);
    ::CloseHandle(process);
    return running && created == stamp.started ? Liveness::Alive : Liveness::Dead;
}

// Windows files have no owner numbers the program uses.
std::uint32_t ThisUserId() { return 0; }

std::string UserName(std::uint32_t user) {
    if (user != 0) return std::to_string(user);
    wchar_t name[257] = {};
    DWORD size = 257;
    if (!::GetUserNameW(name, &size) || size == 0) return {};
    return PathText(fs::path(std::wstring(name, size - 1)));
}

namespace {

// Text from one code page to another through UTF-16; bytes that are no character of the first
// become the second's default character.
std::string Recode(std::string_view text, UINT from, UINT to) {
    if (text.empty()) return {};
    const int wide = ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wide <= 0) return {};
    std::wstring utf16(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), utf16.data(), wide);
    const int bytes = ::WideCharToMultiByte(to, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(to, 0, utf16.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace

std::string SettingsTextFromUtf8(std::string_view utf8) { return Recode(utf8, CP_UTF8, CP_ACP); }
std::string Utf8FromSettingsText(std::string_view text) { return Recode(text, CP_ACP, CP_UTF8); }

std::string LocalTimeText(std::int64_t secondsSince1970) {
    const std::time_t time = static_cast<std::time_t>(secondsSince1970);
    std::tm local{};
    if (::localtime_s(&local, &time) != 0) return {};
    char text[80];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

fs::path UserSettingsFolder() {
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (!appData || !*appData) return {};
    return fs::path(appData) / L"Quellmark";
}

// Windows names no per-session scratch folder of its own; the temp folder serves.
fs::path UserScratchFolder() { return {}; }

fs::path UserHomeFolder() {
    const wchar_t* profile = ::_wgetenv(L"USERPROFILE");
    return profile && *profile ? fs::path(profile) : fs::path();
}

bool PackagesOwnFolder(const fs::path&) { return false; }

}  // namespace quellmark
