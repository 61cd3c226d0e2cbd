// What else differs between systems: how paths become text and back, the system's words for an
// error, names kept for devices, the folder above a path, this process and its cores.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace quellmark {

// A path as UTF-8 text, for messages and lists (on POSIX, the bytes as they are), and back.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(std::string_view text);

// "No such file or directory" and the like, for messages, starting in lower case.
std::string ErrorText(std::error_code ec);

// Whether the error says another program has the file open in a way that shuts this one out: a
// drawing open in a CAD program, a destination someone has open (Windows' sharing and lock
// violations, which the Win32 layer reports as device_or_resource_busy; busy files on POSIX).
// Said to the user as "in use", so they know to close it and try again.
bool InUse(std::error_code ec);

// Why the system cannot give a file or folder this name (one component of a path), or empty
// when it can. Windows keeps CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 for devices in every
// folder, whatever the case and the extension ("con.jww" opens the console, not a file); other
// systems forbid no name a folder can list.
std::string DeviceNameReason(const std::filesystem::path& name);

// The folder above an absolute path, or empty at the root (a drive, a share, "/"). On Windows
// the standard library's parent_path would go on from a share or a \\?\ path to the current
// drive's root.
std::filesystem::path ParentFolder(const std::filesystem::path& path);

// The time in local time as the file list shows it: "yyyy/MM/dd hh:mm:ss".
std::string LocalTimeText(std::int64_t secondsSince1970);

// Where this user's settings of the program go when the program's own folder cannot take them:
// $XDG_CONFIG_HOME/Quellmark (~/.config/Quellmark) on Linux, %APPDATA%\Quellmark on Windows.
// Empty when the system names no such place.
std::filesystem::path UserSettingsFolder();

// Where this user's scratch files of the program go when they may not lie beside it:
// $XDG_RUNTIME_DIR/Quellmark on Linux. Empty when the system names no such place (Windows, a
// session without one): then the temp folder takes them.
std::filesystem::path UserScratchFolder();

// The user's home folder ($HOME, %USERPROFILE%); empty when the system names none.
std::filesystem::path UserHomeFolder();

// Whether the folder belongs to the system's packages: on Linux anything below /usr, /bin,
// /sbin, /lib* or /opt, which the package manager fills and empties and every user shares, so
// nothing of one user's may be written there, whoever runs the program (root too). Windows
// answers false: there a program's folder tells by who may write it.
bool PackagesOwnFolder(const std::filesystem::path& folder);

// Settings files are text in the system's code page: UTF-8 on Linux, the ANSI code page on
// Windows (932 on a Japanese Windows), as the system's own profile functions write them.
std::string SettingsTextFromUtf8(std::string_view utf8);
std::string Utf8FromSettingsText(std::string_view text);

// This process's id, for names of temporary files that must not meet another process's.
long ProcessId();

// How many threads the machine runs at once; at least 1.
int CoreCount();

// What tells this process from every other, also after its id is given to another process and
// on other machines that write the same folders: its id, when it started (in the system's own
// units), and the machine it runs on (host name, boot and, on Linux, the process's name space).
struct ProcessStamp {
    std::uint64_t pid = 0;
    std::uint64_t started = 0;
    std::string machine;
    bool operator==(const ProcessStamp&) const = default;
};
ProcessStamp ThisProcessStamp();

// Whether the process a stamp names still runs: Unknown when it ran on another machine, or when
// this system cannot tell.
enum class Liveness { Alive, Dead, Unknown };
Liveness ProcessLiveness(const ProcessStamp& stamp);

// The user this process runs as, by number (0 on Windows) and by name; the name of another
// user by number, or the number as text when the system names no such user.
std::uint32_t ThisUserId();
std::string UserName(std::uint32_t user);
// This machine's name.
std::string HostName();

#ifdef _WIN32
// The path as Win32 calls take it: past MAX_PATH characters only with the \\?\ prefix, which in
// turn wants an absolute path with backslashes and nothing like "." or ".."; a share becomes
// \\?\UNC\server\share\... .
std::wstring Win32Path(const std::filesystem::path& path);
#endif

}  // namespace quellmark
