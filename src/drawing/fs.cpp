// The real file system behind the FileSystem interface: POSIX calls, or Win32 calls on wide
// paths on Windows.
#include "fs.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quellmark {

namespace fs = std::filesystem;

namespace {

#ifndef _WIN32

std::error_code LastError() { return {errno, std::generic_category()}; }

class PosixOutputFile final : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    ~PosixOutputFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    std::error_code write(std::span<const std::uint8_t> bytes, std::size_t& written) override {
        written = 0;
        while (written < bytes.size()) {
            ssize_t n = ::write(fd_, bytes.data() + written, bytes.size() - written);
            if (n < 0) {
                if (errno == EINTR) continue;
                return LastError();
            }
            written += static_cast<std::size_t>(n);
        }
        return {};
    }
    std::error_code sync() override { return ::fsync(fd_) == 0 ? std::error_code{} : LastError(); }
    std::error_code close() override {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? std::error_code{} : LastError();
    }

private:
    int fd_;
};

std::error_code OpenForWriting(const fs::path& path, int flags, std::unique_ptr<OutputFile>& out) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    if (fd < 0) return LastError();
    out = std::make_unique<PosixOutputFile>(fd);
    return {};
}

#else

// A Win32 error as the portable condition the engine tests for where there is one.
std::error_code Win32Error(DWORD code = ::GetLastError()) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
        return std::make_error_code(std::errc::permission_denied);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return std::make_error_code(std::errc::file_exists);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_DIRECTORY:
        return std::make_error_code(std::errc::not_a_directory);
    case ERROR_DIR_NOT_EMPTY:
        return std::make_error_code(std::errc::directory_not_empty);
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return std::make_error_code(std::errc::invalid_argument);
    case ERROR_FILENAME_EXCED_RANGE:
        return std::make_error_code(std::errc::filename_too_long);
    case ERROR_NOT_SAME_DEVICE:
        return std::make_error_code(std::errc::cross_device_link);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return std::make_error_code(std::errc::not_enough_memory);
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return std::make_error_code(std::errc::function_not_supported);
    default:
        return {static_cast<int>(code), std::system_category()};
    }
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The path made full as Win32 makes every path it is given: current folder and drive added, "."
// and ".." taken by spelling, slashes turned round. It knows shares (\\server\share) and the
// \\.\ and \\?\ forms, which the standard library's path does not take apart.
std::wstring FullPathName(const std::wstring& text) {
    std::wstring full(std::max<std::size_t>(text.size() + 1, MAX_PATH), L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(text.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) return text;
        if (n < full.size()) return full.substr(0, n);
        full.resize(n);
    }
}

// The characters of a full path's root with its closing backslash: "C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\".
std::size_t RootLength(const std::wstring& text) {
    auto skipParts = [&](std::size_t at, int parts) {
        for (; parts > 0 && at < text.size(); --parts) {
            const std::size_t end = text.find(L'\\', at);
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
    return text.size() >= 3 && text[1] == L':' ? 3 : 0;
}

#endif

}  // namespace

#ifdef _WIN32

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
    fs::path full = fs::absolute(path, ec);
    if (ec) return text;
    return L"\\\\?\\" + full.lexically_normal().make_preferred().native();
}

#endif

fs::path SystemAbsolute(const fs::path& path) {
#ifdef _WIN32
    const std::wstring given = path.native();
    std::wstring full = given.starts_with(L"\\\\?\\") ? given : FullPathName(given);
    while (full.size() > RootLength(full) && IsSeparator(full.back())) full.pop_back();
    return full;
#else
    std::error_code ec;
    fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) full = fs::absolute(path, ec).lexically_normal();
    return !full.has_filename() && full.has_relative_path() ? full.parent_path() : full;
#endif
}

Nesting NestingIn(const fs::path& path, const fs::path& folder) {
    const fs::path full = SystemAbsolute(path);
    fs::path up = full;
    for (;;) {
        // A part of the path that is not there yet is no folder, so it is simply passed.
        if (SameFileOrFolder(up, folder)) return up == full ? Nesting::Same : Nesting::Inside;
#ifdef _WIN32
        // Up by the text: the standard library's parent_path would go on from a share or a
        // \\?\ path to the current drive's root.
        const std::wstring& text = up.native();
        const std::size_t root = RootLength(text);
        if (root == 0 || text.size() <= root) return Nesting::Apart;
        const std::size_t cut = text.rfind(L'\\');
        up = text.substr(0, cut == std::wstring::npos || cut < root ? root : cut);
#else
        if (!up.has_relative_path()) return Nesting::Apart;
        up = up.parent_path();
#endif
    }
}

namespace {

#ifdef _WIN32

class Win32OutputFile final : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE h) : h_(h) {}
    ~Win32OutputFile() override {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
    }
    std::error_code write(std::span<const std::uint8_t> bytes, std::size_t& written) override {
        written = 0;
        while (written < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
            DWORD n = 0;
            if (!::WriteFile(h_, bytes.data() + written, chunk, &n, nullptr)) return Win32Error();
            written += n;
        }
        return {};
    }
    std::error_code sync() override { return ::FlushFileBuffers(h_) ? std::error_code{} : Win32Error(); }
    std::error_code close() override {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(h) ? std::error_code{} : Win32Error();
    }

private:
    HANDLE h_;
};

std::error_code OpenForWriting(const fs::path& path, DWORD disposition, std::unique_ptr<OutputFile>& out) {
    // Others may read and rename or delete it meanwhile, as on POSIX.
    HANDLE h = ::CreateFileW(Win32Path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Win32Error();
    out = std::make_unique<Win32OutputFile>(h);
    return {};
}

// A file or folder opened for its attributes and times, following links; others keep every kind
// of access meanwhile.
HANDLE OpenForAttributes(const fs::path& path, DWORD access) {
    return ::CreateFileW(Win32Path(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A folder opened as itself, never through a reparse point (a link or junction).
HANDLE OpenFolderHandle(const fs::path& path, DWORD share) {
    return ::CreateFileW(Win32Path(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Folders held open by handles. The handles do not share deletion, so while they are held no
// folder on the way can be renamed or removed, and the checked path keeps reaching the same
// folder.
class Win32Folder final : public FolderHandle {
public:
    explicit Win32Folder(fs::path checked) : path_(std::move(checked)) {}
    ~Win32Folder() override {
        if (mutex_) {
            ::ReleaseMutex(mutex_);
            ::CloseHandle(mutex_);
        }
        for (HANDLE h : handles_) ::CloseHandle(h);
    }
    // A mutex this thread owns, released with the folder.
    void own(HANDLE mutex) { mutex_ = mutex; }
    void hold(HANDLE h) { handles_.push_back(h); }
    void reachedAs(fs::path checked) { path_ = std::move(checked); }
    const fs::path& path() const override { return path_; }

private:
    std::vector<HANDLE> handles_;
    HANDLE mutex_ = nullptr;
    fs::path path_;
};

// Opens one folder of a chain: it must be a real folder, not a reparse point.
std::error_code HoldFolder(Win32Folder& folder, const fs::path& path) {
    HANDLE h = OpenFolderHandle(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (h == INVALID_HANDLE_VALUE) return Win32Error();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) {
        auto err = Win32Error();
        ::CloseHandle(h);
        return err;
    }
    folder.hold(h);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::make_error_code(std::errc::not_a_directory);
    return {};
}

#endif

#ifndef _WIN32

// A folder held by its descriptor. Where /proc shows the process's descriptors, its path goes
// through the descriptor, so nothing can swap a link in above it; elsewhere it is the path as
// it was checked.
// Whether /proc/self/fd/N reaches the folder open as N. Asked of the first folder held; the answer
// holds for the whole process.
bool ProcReachesFolders(int fd, const fs::path& viaDescriptor) {
    static std::atomic<int> known{-1};
    const int answer = known.load();
    if (answer >= 0) return answer == 1;
    struct stat byPath {}, byFd {};
    const bool works = ::stat(viaDescriptor.c_str(), &byPath) == 0 && ::fstat(fd, &byFd) == 0 &&
                       byPath.st_ino == byFd.st_ino && byPath.st_dev == byFd.st_dev;
    known.store(works ? 1 : 0);
    return works;
}

class PosixFolder final : public FolderHandle {
public:
    PosixFolder(int fd, fs::path checked) : fd_(fd) {
        fs::path viaDescriptor = fs::path("/proc/self/fd") / std::to_string(fd);
        path_ = ProcReachesFolders(fd, viaDescriptor) ? std::move(viaDescriptor) : std::move(checked);
    }
    ~PosixFolder() override { ::close(fd_); }
    const fs::path& path() const override { return path_; }
    int fd() const { return fd_; }

private:
    int fd_;
    fs::path path_;
};

int OpenFolder(int at, const char* name, bool follow) {
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
}

// Opens the folder, calls sync(fd) on it, and closes it.
std::error_code OnFolder(const fs::path& folder, int (*sync)(int)) {
    int fd = OpenFolder(AT_FDCWD, folder.c_str(), true);
    if (fd < 0) return LastError();
    std::error_code ec;
    if (sync(fd) != 0) ec = LastError();
    ::close(fd);
    return ec;
}

#endif

class RealFs final : public FileSystem {
public:
    std::error_code readFile(const fs::path& path, FileBytes& out, std::size_t limit) override {
        out.clear();
#ifndef _WIN32
        // Without O_NONBLOCK, opening a fifo would wait for a writer for ever.
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return LastError();
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            auto err = LastError();
            ::close(fd);
            return err;
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            return std::make_error_code(S_ISDIR(st.st_mode) ? std::errc::is_a_directory
                                                            : std::errc::operation_not_supported);
        }
        const std::size_t want =
            std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), limit);
        try {
            out.resize(want);
        } catch (const std::bad_alloc&) {
            ::close(fd);
            return std::make_error_code(std::errc::not_enough_memory);
        }
        std::size_t got = 0;
        while (got < want) {
            ssize_t n = ::read(fd, out.data() + got, want - got);
            if (n < 0) {
                if (errno == EINTR) continue;
                auto err = LastError();
                ::close(fd);
                return err;
            }
            if (n == 0) break;  // the file shrank while we read it
            got += static_cast<std::size_t>(n);
        }
        ::close(fd);
        out.resize(got);
        return {};
#else
        HANDLE h = ::CreateFileW(Win32Path(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            // Opening a folder fails with "access denied", which would say the wrong thing.
            const DWORD code = ::GetLastError();
            if (code == ERROR_ACCESS_DENIED && Examine(path).kind == PathKind::Folder) {
                return std::make_error_code(std::errc::is_a_directory);
            }
            return Win32Error(code);
        }
        auto fail = [&](std::error_code err) {
            ::CloseHandle(h);
            out.clear();
            return err;
        };
        LARGE_INTEGER size{};
        if (::GetFileType(h) != FILE_TYPE_DISK) return fail(std::make_error_code(std::errc::operation_not_supported));
        if (!::GetFileSizeEx(h, &size)) return fail(Win32Error());
        const std::size_t want = std::min<std::uint64_t>(static_cast<std::uint64_t>(size.QuadPart), limit);
        try {
            out.resize(want);
        } catch (const std::bad_alloc&) {
            return fail(std::make_error_code(std::errc::not_enough_memory));
        }
        std::size_t got = 0;
        while (got < want) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(want - got, 1u << 30));
            DWORD n = 0;
            if (!::ReadFile(h, out.data() + got, chunk, &n, nullptr)) return fail(Win32Error());
            if (n == 0) break;  // the file shrank while we read it
            got += n;
        }
        ::CloseHandle(h);
        out.resize(got);
        return {};
#endif
    }

    std::error_code create(const fs::path& path, std::unique_ptr<OutputFile>& out) override {
#ifndef _WIN32
        return OpenForWriting(path, O_TRUNC, out);
#else
        return OpenForWriting(path, CREATE_ALWAYS, out);
#endif
    }

    std::error_code createNew(const fs::path& path, std::unique_ptr<OutputFile>& out) override {
#ifndef _WIN32
        return OpenForWriting(path, O_EXCL, out);
#else
        return OpenForWriting(path, CREATE_NEW, out);
#endif
    }

    std::error_code rename(const fs::path& from, const fs::path& to) override {
#ifdef _WIN32
        // Write-through: the call returns once the new name is on the disk.
        if (::MoveFileExW(Win32Path(from).c_str(), Win32Path(to).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return {};
        }
        return Win32Error();
#else
        std::error_code ec;
        fs::rename(from, to, ec);
        return ec;
#endif
    }

    std::error_code remove(const fs::path& path) override {
#ifdef _WIN32
        return ::DeleteFileW(Win32Path(path).c_str()) ? std::error_code{} : Win32Error();
#else
        std::error_code ec;
        if (!fs::remove(path, ec) && !ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return ec;
#endif
    }

    std::error_code link(const fs::path& existing, const fs::path& newName) override {
#ifdef _WIN32
        if (::CreateHardLinkW(Win32Path(newName).c_str(), Win32Path(existing).c_str(), nullptr)) return {};
        return Win32Error();
#else
        std::error_code ec;
        fs::create_hard_link(existing, newName, ec);
        return ec;
#endif
    }

    std::error_code copyPermissions(const fs::path& from, const fs::path& to) override {
#ifndef _WIN32
        struct stat st {};
        if (::stat(from.c_str(), &st) != 0) return LastError();
        if (::chmod(to.c_str(), st.st_mode & 07777) != 0) return LastError();
        // Only a process that may give files away keeps the owner; for others this fails
        // harmlessly and the file stays theirs.
        if (::geteuid() == 0) (void)::chown(to.c_str(), st.st_uid, st.st_gid);
        return {};
#else
        // Windows keeps one permission of its own in the attributes: read-only.
        const DWORD fromAttributes = ::GetFileAttributesW(Win32Path(from).c_str());
        const DWORD toAttributes = ::GetFileAttributesW(Win32Path(to).c_str());
        if (fromAttributes == INVALID_FILE_ATTRIBUTES || toAttributes == INVALID_FILE_ATTRIBUTES) return Win32Error();
        const DWORD wanted = (toAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) | (fromAttributes & FILE_ATTRIBUTE_READONLY);
        if (wanted != toAttributes && !::SetFileAttributesW(Win32Path(to).c_str(), wanted)) return Win32Error();
        return {};
#endif
    }

    std::error_code createDirectory(const fs::path& path) override {
#ifdef _WIN32
        return ::CreateDirectoryW(Win32Path(path).c_str(), nullptr) ? std::error_code{} : Win32Error();
#else
        std::error_code ec;
        if (!fs::create_directory(path, ec) && !ec) ec = std::make_error_code(std::errc::file_exists);
        return ec;
#endif
    }

    std::error_code removeDirectory(const fs::path& path) override {
        if (Examine(path).kind != PathKind::Folder) return std::make_error_code(std::errc::not_a_directory);
#ifdef _WIN32
        return ::RemoveDirectoryW(Win32Path(path).c_str()) ? std::error_code{} : Win32Error();
#else
        std::error_code ec;
        fs::remove(path, ec);  // only an empty folder goes
        return ec;
#endif
    }

#ifndef _WIN32
    bool canSyncFileSystems() override { return true; }
    std::error_code syncFileSystem(const fs::path& folder) override { return OnFolder(folder, ::syncfs); }
#endif

    std::error_code syncDirectory(const fs::path& path) override {
#ifndef _WIN32
        return OnFolder(path, ::fsync);
#else
        // NTFS journals its names, and renames are written through: nothing is left to push.
        (void)path;
        return {};
#endif
    }

    std::error_code pinFolder(const fs::path& root, const fs::path& below, bool create,
                              std::unique_ptr<FolderHandle>& out) override {
#ifndef _WIN32
        int fd = OpenFolder(AT_FDCWD, root.c_str(), true);
        if (fd < 0) return LastError();
        fs::path checked = root;
        for (const fs::path& part : below) {
            const std::string name = part.string();
            if (name.empty() || name == ".") continue;
            if (name == "..") {
                ::close(fd);
                return std::make_error_code(std::errc::invalid_argument);
            }
            int next = OpenFolder(fd, name.c_str(), false);
            if (next < 0 && errno == ENOENT && create) {
                if (::mkdirat(fd, name.c_str(), 0777) != 0 && errno != EEXIST) {
                    auto err = LastError();
                    ::close(fd);
                    return err;
                }
                next = OpenFolder(fd, name.c_str(), false);
            }
            if (next < 0) {
                // A link says ELOOP or ENOTDIR depending on where it points; say what it is.
                auto err = LastError();
                struct stat st {};
                if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                    err = std::make_error_code(std::errc::too_many_symbolic_link_levels);
                }
                ::close(fd);
                return err;
            }
            ::close(fd);
            fd = next;
            checked /= part;
        }
        out = std::make_unique<PosixFolder>(fd, checked);
        return {};
#else
        auto folder = std::make_unique<Win32Folder>(root);
        // root is taken as given, links and all; below it each folder is checked.
        HANDLE h = ::CreateFileW(Win32Path(root).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return Win32Error();
        folder->hold(h);
        fs::path checked = root;
        for (const fs::path& part : below) {
            const std::wstring& name = part.native();
            if (name.empty() || name == L".") continue;
            if (name == L"..") return std::make_error_code(std::errc::invalid_argument);
            checked /= part;
            if (create && !::CreateDirectoryW(Win32Path(checked).c_str(), nullptr) &&
                ::GetLastError() != ERROR_ALREADY_EXISTS) {
                return Win32Error();
            }
            if (auto ec = HoldFolder(*folder, checked)) return ec;
        }
        folder->reachedAs(checked);
        out = std::move(folder);
        return {};
#endif
    }

    std::error_code lockFolder(const fs::path& folder, bool wait, std::unique_ptr<FolderHandle>& out) override {
#ifndef _WIN32
        int fd = OpenFolder(AT_FDCWD, folder.c_str(), true);
        if (fd < 0) return LastError();
        while (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
            if (errno == EINTR) continue;
            auto err = errno == EWOULDBLOCK ? std::make_error_code(std::errc::resource_unavailable_try_again)
                                            : LastError();
            ::close(fd);
            return err;
        }
        out = std::make_unique<PosixFolder>(fd, folder);
        return {};
#else
        // Windows locks byte ranges of files only, not folders; the lock is a mutex named after
        // the folder's identity (volume and file index), so every spelling of the folder meets
        // the same one, and a killed holder's mutex comes free. It holds between the processes of
        // one machine.
        HANDLE h = OpenFolderHandle(folder, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (h == INVALID_HANDLE_VALUE) return Win32Error();
        auto held = std::make_unique<Win32Folder>(folder);
        held->hold(h);
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(h, &info)) return Win32Error();
        if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::make_error_code(std::errc::not_a_directory);
        const std::wstring name = L"Global\\quellmark-folder-" + std::to_wstring(info.dwVolumeSerialNumber) + L"-" +
                                  std::to_wstring((std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
        if (!mutex) return Win32Error();
        const DWORD got = ::WaitForSingleObject(mutex, wait ? INFINITE : 0);
        if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) {
            ::CloseHandle(mutex);
            return got == WAIT_TIMEOUT ? std::make_error_code(std::errc::resource_unavailable_try_again)
                                       : Win32Error();
        }
        held->own(mutex);
        out = std::move(held);
        return {};
#endif
    }

    std::error_code listNames(const fs::path& folder, std::vector<std::string>& names) override {
        names.clear();
        std::vector<FolderEntry> entries;
        const std::error_code ec = ListFolder(folder, entries);
        for (const FolderEntry& entry : entries) names.push_back(PathText(entry.name));
        return ec;
    }

    bool isFile(const fs::path& path) override { return Examine(path).kind == PathKind::File; }

    bool isDirectory(const fs::path& path) override { return Examine(path).kind == PathKind::Folder; }
};

}  // namespace

FileSystem& RealFileSystem() {
    static RealFs instance;
    return instance;
}

void FileSink::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    const std::error_code ec = file_.write(bytes, done);
    written_ += done;
    if (ec) {
        // The offset is the first byte that did not reach the file.
        throw DrawingError(FailureKind::CannotWrite, "cannot write: " + ErrorText(ec),
                           static_cast<std::int64_t>(written_), Section::None, ec);
    }
}

bool SameFileOrFolder(const fs::path& a, const fs::path& b) {
#ifdef _WIN32
    // The volume and the file index name a file on Windows; the C library's stat has no inode.
    auto identity = [](const fs::path& path, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE h = OpenForAttributes(path, 0);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool known = ::GetFileInformationByHandle(h, &info) != 0;
        ::CloseHandle(h);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return identity(a, x) && identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
#else
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
#endif
}

#ifdef _WIN32

namespace {

PathFacts FactsOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow) {
    PathFacts facts;
    facts.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder
                 : (attributes & FILE_ATTRIBUTE_DEVICE)  ? PathKind::Other
                                                         : PathKind::File;
    if (facts.kind == PathKind::File) facts.size = (std::uintmax_t{sizeHigh} << 32) | sizeLow;
    return facts;
}

bool IsNotThere(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME ||
           code == ERROR_BAD_NETPATH || code == ERROR_BAD_NET_NAME;
}

// Past a reparse point: what the link leads to, as opening the name sees it.
PathFacts FactsThroughLink(const fs::path& path) {
    PathFacts facts;
    facts.link = true;
    HANDLE h = OpenForAttributes(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (!IsNotThere(code)) facts.error = Win32Error(code);
        return facts;  // a link to nothing is as good as no name
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(h, &info)) {
        facts = FactsOf(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow);
        facts.link = true;
    } else {
        facts.error = Win32Error();
    }
    ::CloseHandle(h);
    return facts;
}

}  // namespace

PathFacts Examine(const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Win32Path(path).c_str(), GetFileExInfoStandard, &data)) {
        PathFacts facts;
        const DWORD code = ::GetLastError();
        if (!IsNotThere(code)) facts.error = Win32Error(code);
        return facts;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return FactsThroughLink(path);
    return FactsOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
}

std::error_code ListFolder(const fs::path& folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    std::wstring pattern = Win32Path(folder);
    if (pattern.empty()) pattern = L".";
    if (!IsSeparator(pattern.back())) pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND ? std::error_code{} : Win32Error(code);
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({fs::path(name), {}});
        entries.back().facts = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                                   ? FactsThroughLink(folder / name)
                                   : FactsOf(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow);
    } while (::FindNextFileW(search, &found));
    const DWORD code = ::GetLastError();
    ::FindClose(search);
    return code == ERROR_NO_MORE_FILES ? std::error_code{} : Win32Error(code);
}

#else

namespace {

// From the type the folder listing gave where it can (no stat for a folder or a file that is no
// link), and one stat for a file's size.
PathFacts FactsOf(const fs::directory_entry& entry) {
    PathFacts facts;
    std::error_code ec;
    facts.link = entry.is_symlink(ec);
    if (!ec && entry.is_directory(ec)) {
        facts.kind = PathKind::Folder;
    } else if (!ec && entry.is_regular_file(ec)) {
        facts.kind = PathKind::File;
        std::error_code sizeError;
        const std::uintmax_t size = entry.file_size(sizeError);
        facts.size = sizeError ? 0 : size;
    } else if (!ec && entry.exists(ec)) {
        facts.kind = PathKind::Other;
    }
    if (ec && ec != std::errc::no_such_file_or_directory) facts.error = ec;
    return facts;
}

// A name that is not there, or lies below a file, is no failure: it is simply missing.
bool IsNotThere(int error) { return error == ENOENT || error == ENOTDIR; }

}  // namespace

// One lstat tells a name that is no link all there is to know; a link takes a stat more.
PathFacts Examine(const fs::path& path) {
    PathFacts facts;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (!IsNotThere(errno)) facts.error = LastError();
        return facts;
    }
    if (S_ISLNK(st.st_mode)) {
        facts.link = true;
        if (::stat(path.c_str(), &st) != 0) {
            if (!IsNotThere(errno)) facts.error = LastError();
            return facts;  // a link to nothing is as good as no name
        }
    }
    facts.kind = S_ISDIR(st.st_mode) ? PathKind::Folder : S_ISREG(st.st_mode) ? PathKind::File : PathKind::Other;
    if (facts.kind == PathKind::File) facts.size = static_cast<std::uintmax_t>(st.st_size);
    return facts;
}

std::error_code ListFolder(const fs::path& folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back({it->path().filename(), FactsOf(*it)});
    }
    return ec;
}

#endif

std::error_code CreateFolders(const fs::path& path) {
    const PathFacts facts = Examine(path);
    if (facts.kind == PathKind::Folder) return {};
    if (facts.kind != PathKind::Missing) return std::make_error_code(std::errc::not_a_directory);
    if (facts.error) return facts.error;
    const fs::path parent = path.parent_path();
    if (!parent.empty() && parent != path && path.has_relative_path()) {
        if (const std::error_code ec = CreateFolders(parent)) return ec;
    }
    const std::error_code ec = RealFileSystem().createDirectory(path);
    // Made by someone else meanwhile is as good.
    return ec && Examine(path).kind == PathKind::Folder ? std::error_code{} : ec;
}

std::error_code CopyModificationTime(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    HANDLE source = OpenForAttributes(from, FILE_READ_ATTRIBUTES);
    if (source == INVALID_HANDLE_VALUE) return Win32Error();
    FILETIME written{};
    const bool known = ::GetFileTime(source, nullptr, nullptr, &written) != 0;
    const std::error_code readError = known ? std::error_code{} : Win32Error();
    ::CloseHandle(source);
    if (!known) return readError;
    HANDLE target = OpenForAttributes(to, FILE_WRITE_ATTRIBUTES);
    if (target == INVALID_HANDLE_VALUE) return Win32Error();
    const bool set = ::SetFileTime(target, nullptr, nullptr, &written) != 0;
    const std::error_code setError = set ? std::error_code{} : Win32Error();
    ::CloseHandle(target);
    return setError;
#else
    std::error_code ec;
    const fs::file_time_type time = fs::last_write_time(from, ec);
    if (!ec) fs::last_write_time(to, time, ec);
    return ec;
#endif
}

std::string DeviceNameReason(const fs::path& name) {
#ifdef _WIN32
    // The device is named by what stands before the first dot, trailing spaces dropped.
    const std::wstring& text = name.native();
    std::wstring base = text.substr(0, text.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    std::string upper;
    for (wchar_t c : base) {
        if (c > 0x7f) return {};
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const bool numbered = upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
                          upper[3] >= '1' && upper[3] <= '9';
    if (numbered || upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") {
        return "Windows keeps the name " + upper + " for a device";
    }
#else
    (void)name;
#endif
    return {};
}

std::string PathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path PathFromText(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

long ProcessId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(::getpid());
#endif
}

std::string ErrorText(std::error_code ec) {
    std::string text = ec.message();
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace quellmark
