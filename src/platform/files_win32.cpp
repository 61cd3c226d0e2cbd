// The real file system on Windows: Win32 calls on wide paths, each through Win32Path so that
// paths past MAX_PATH characters work too, where the C library's calls stop.
#include "files.h"
#include "system.h"
#include "win32_paths.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

// Reads and writes go in pieces a DWORD can count.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

// The lock OutputFile::holdLock takes: one byte far past any end, so that it keeps no one from
// reading what the file holds (Windows' locks are mandatory).
constexpr DWORD kLockOffsetHigh = 0x40000000;

// 100-nanosecond steps from 1601-01-01 UTC, where a FILETIME counts from, to 1970-01-01.
constexpr std::uint64_t kTicksTo1970 = 116444736000000000ULL;

FileTime FileTimeOf(FILETIME time) {
    const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    const std::int64_t since1970 = static_cast<std::int64_t>(ticks) - static_cast<std::int64_t>(kTicksTo1970);
    return {since1970 / 10000000, (since1970 % 10000000) * 100};
}

FILETIME FileTimeFrom(const FileTime& time) {
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(time.seconds * 10000000 + time.nanoseconds / 100) + kTicksTo1970;
    return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

OVERLAPPED LockRange() {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return at;
}

// A handle closed when it goes.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~OwnedHandle() {
        if (ok()) ::CloseHandle(h_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return h_; }
    HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
    void reset(HANDLE h) {
        if (ok()) ::CloseHandle(h_);
        h_ = h;
    }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }

private:
    HANDLE h_;
};

class Win32InputFile final : public InputFile {
public:
    // writersShut: the file was opened without sharing writes, so no program can write it while
    // it is open.
    Win32InputFile(HANDLE h, std::uint64_t size, bool writersShut) : h_(h), size_(size), writersShut_(writersShut) {
        FILETIME written{};
        if (::GetFileTime(h_.get(), nullptr, nullptr, &written)) modified_ = FileTimeOf(written);
    }
    std::uint64_t size() const override { return size_; }
    FileTime modified() const override { return modified_; }
    LockSeen lockSeen() override {
        OVERLAPPED at = LockRange();
        if (::LockFileEx(h_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            at = LockRange();
            ::UnlockFileEx(h_.get(), 0, 1, 0, &at);
            return LockSeen::Free;
        }
        return ::GetLastError() == ERROR_LOCK_VIOLATION ? LockSeen::Held : LockSeen::Unknown;
    }
    SinceOpened sinceOpened() const override { return writersShut_ ? SinceOpened::Unchanged : SinceOpened::CannotTell; }
    std::error_code rewind() override {
        LARGE_INTEGER start{};
        return ::SetFilePointerEx(h_.get(), start, nullptr, FILE_BEGIN) ? std::error_code{} : Win32Error();
    }
    std::error_code read(std::span<std::uint8_t> bytes, std::size_t& got) override {
        got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
        DWORD n = 0;
        if (!::ReadFile(h_.get(), bytes.data(), chunk, &n, nullptr)) return Win32Error();
        got = n;
        return {};
    }

private:
    OwnedHandle h_;
    std::uint64_t size_;
    FileTime modified_;
    bool writersShut_;
};

class Win32OutputFile final : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE h) : h_(h) {}
    ~Win32OutputFile() override {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
    }
    std::error_code write(std::span<const std::uint8_t> bytes, std::size_t& written) override {
        written = 0;
        while (written < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min(bytes.size() - written, kLargestTransfer));
            DWORD n = 0;
            if (!::WriteFile(h_, bytes.data() + written, chunk, &n, nullptr)) return Win32Error();
            written += n;
        }
        return {};
    }
    // A write at an offset moves a synchronous handle's file pointer; it is put back after.
    std::error_code writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        LARGE_INTEGER here{};
        if (!::SetFilePointerEx(h_, LARGE_INTEGER{}, &here, FILE_CURRENT)) return Win32Error();
        std::size_t done = 0;
        std::error_code ec;
        while (!ec && done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min(bytes.size() - done, kLargestTransfer));
            OVERLAPPED at{};
            const std::uint64_t where = offset + done;
            at.Offset = static_cast<DWORD>(where);
            at.OffsetHigh = static_cast<DWORD>(where >> 32);
            DWORD n = 0;
            if (!::WriteFile(h_, bytes.data() + done, chunk, &n, &at)) {
                ec = Win32Error();
            } else if (n == 0) {
                ec = std::make_error_code(std::errc::io_error);
            }
            done += n;
        }
        if (!::SetFilePointerEx(h_, here, nullptr, FILE_BEGIN) && !ec) ec = Win32Error();
        return ec;
    }
    // Windows keeps one permission of its own in the attributes: read-only.
    std::error_code takeAttributes(const FileAttributes& attributes) override {
        FILE_BASIC_INFO info{};
        if (!::GetFileInformationByHandleEx(h_, FileBasicInfo, &info, sizeof info)) return Win32Error();
        const DWORD wanted = (info.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) |
                             (attributes.readOnly ? DWORD{FILE_ATTRIBUTE_READONLY} : 0);
        if (wanted == info.FileAttributes) return {};
        info.FileAttributes = wanted;
        return ::SetFileInformationByHandle(h_, FileBasicInfo, &info, sizeof info) ? std::error_code{} : Win32Error();
    }
    std::error_code setModified(const FileTime& time) override {
        const FILETIME written = FileTimeFrom(time);
        return ::SetFileTime(h_, nullptr, nullptr, &written) ? std::error_code{} : Win32Error();
    }
    std::error_code touch() override {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        return ::SetFileTime(h_, nullptr, nullptr, &now) ? std::error_code{} : Win32Error();
    }
    std::error_code holdLock() override {
        OVERLAPPED at = LockRange();
        return ::LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) ? std::error_code{}
                                                                                                   : Win32Error();
    }
    std::error_code sync() override { return ::FlushFileBuffers(h_) ? std::error_code{} : Win32Error(); }
    std::error_code close() override {
        const HANDLE h = std::exchange(h_, INVALID_HANDLE_VALUE);
        return ::CloseHandle(h) ? std::error_code{} : Win32Error();
    }

private:
    HANDLE h_;
};

std::error_code OpenForWriting(const fs::path& path, DWORD disposition, std::unique_ptr<OutputFile>& out) {
    // Others may read and rename or delete it meanwhile, as on POSIX.
    const HANDLE h = ::CreateFileW(Win32Path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
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

// A folder opened to be held, following links. Without FILE_SHARE_DELETE in `share`, no one can
// rename or remove it while the handle lasts.
HANDLE OpenFolderFollowing(const fs::path& path, DWORD share) {
    return ::CreateFileW(Win32Path(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A folder opened as itself, never through a reparse point (a link or junction).
HANDLE OpenFolderHandle(const fs::path& path, DWORD share) {
    return ::CreateFileW(Win32Path(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

std::error_code InformationOf(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
    info = {};
    return ::GetFileInformationByHandle(h, &info) ? std::error_code{} : Win32Error();
}

// The volume and the file index name a file on Windows; the C library's stat has no inode.
FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// Windows answers "access denied" where another program has the file open without sharing its
// deletion (a rename onto it, its removal). Opening it for deletion with every sharing tells the
// two apart: only such a holder makes that open fail with a sharing violation, said as "in use".
DWORD WhyDenied(DWORD code, const std::wstring& name) {
    if (code != ERROR_ACCESS_DENIED) return code;
    const OwnedHandle h(::CreateFileW(name.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    return !h.ok() && ::GetLastError() == ERROR_SHARING_VIOLATION ? DWORD{ERROR_SHARING_VIOLATION} : code;
}

// Only the attributes of a file, through its handle; times left as they are (zero: unchanged).
bool SetAttributesOf(HANDLE h, DWORD attributes) {
    FILE_BASIC_INFO info{};
    info.FileAttributes = attributes == 0 ? DWORD{FILE_ATTRIBUTE_NORMAL} : attributes;
    return ::SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) != 0;
}

bool IsFolder(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ReleaseMutexes(std::vector<HANDLE>& mutexes) {
    for (const HANDLE mutex : mutexes) {
        ::ReleaseMutex(mutex);
        ::CloseHandle(mutex);
    }
    mutexes.clear();
}

// The folder locks this process holds, by the base name of their mutexes. A Windows mutex taken
// again by the thread that owns it is simply taken once more, so the mutexes alone would let one
// process lock a folder twice where flock on Linux refuses the second lock; these counts refuse
// it. Made once and never destroyed, so that a lock released while the process ends still finds
// them.
struct FolderLocks {
    int shared = 0;
    bool exclusive = false;
};
struct ProcessLocks {
    std::mutex guard;
    std::map<std::wstring, FolderLocks> byName;
};
ProcessLocks& LocksOfThisProcess() {
    static ProcessLocks* const locks = new ProcessLocks;
    return *locks;
}

// Folders held open by handles; a locked one also holds the mutexes of its lock.
//
// A Windows mutex belongs to the thread that took it, and only that thread can release it: a
// lock must be let go (the handle destroyed) by the thread that took it. Let go by another, its
// mutexes stay taken until the taking thread ends, when they come free as abandoned ones.
class Win32Folder final : public FolderHandle {
public:
    explicit Win32Folder(fs::path checked) : path_(std::move(checked)) {}
    ~Win32Folder() override {
        if (!mutexes_.empty()) {
            ProcessLocks& locks = LocksOfThisProcess();
            const std::lock_guard<std::mutex> hold(locks.guard);
            ReleaseMutexes(mutexes_);
            const auto it = locks.byName.find(lockName_);
            if (it != locks.byName.end()) {
                if (lockMode_ == LockMode::Exclusive) {
                    it->second.exclusive = false;
                } else {
                    --it->second.shared;
                }
                if (!it->second.exclusive && it->second.shared == 0) locks.byName.erase(it);
            }
        }
        for (const HANDLE h : handles_) ::CloseHandle(h);
    }
    Win32Folder(const Win32Folder&) = delete;
    Win32Folder& operator=(const Win32Folder&) = delete;

    void hold(HANDLE h) { handles_.push_back(h); }
    void reachedAs(fs::path checked) { path_ = std::move(checked); }
    void identifyAs(FileIdentity identity) {
        identity_ = identity;
        identified_ = true;
    }
    // Mutexes this thread has taken for a lock the process registry already counts.
    void own(std::wstring lockName, LockMode mode, std::vector<HANDLE> mutexes) {
        lockName_ = std::move(lockName);
        lockMode_ = mode;
        mutexes_ = std::move(mutexes);
    }
    const fs::path& path() const override { return path_; }
    // Asked of the folder's handle the first time for a folder entered without it.
    const FileIdentity& identity() const {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!identified_ && !handles_.empty() && ::GetFileInformationByHandle(handles_.back(), &info)) {
            identity_ = IdentityOf(info);
            identified_ = true;
        }
        return identity_;
    }
    // The folder's own handle (those held before it are the folders above it on the way).
    HANDLE handle() const { return handles_.empty() ? INVALID_HANDLE_VALUE : handles_.back(); }
    // The last handle held is the folder itself (those before it, the folders above it on the
    // way); Windows names where it is now.
    fs::path whereNow() const override {
        if (handles_.empty()) return {};
        std::wstring name(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = ::GetFinalPathNameByHandleW(handles_.back(), name.data(), static_cast<DWORD>(name.size()),
                                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (n == 0) return {};
            if (n < name.size()) {
                name.resize(n);
                break;
            }
            name.resize(n);
        }
        // Shown as the user would type it: without the \\?\ (and \\?\UNC\) prefix.
        if (name.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + name.substr(8);
        if (name.starts_with(L"\\\\?\\")) return name.substr(4);
        return name;
    }

private:
    std::vector<HANDLE> handles_;
    fs::path path_;
    mutable FileIdentity identity_;
    mutable bool identified_ = false;
    std::wstring lockName_;
    LockMode lockMode_ = LockMode::Shared;
    std::vector<HANDLE> mutexes_;
};

// Opens the folder following links, held by `folder` until it goes, and records its identity.
std::error_code HoldFollowing(Win32Folder& folder, const fs::path& path, DWORD share) {
    const HANDLE h = OpenFolderFollowing(path, share);
    if (h == INVALID_HANDLE_VALUE) return Win32Error();
    folder.hold(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (auto ec = InformationOf(h, info)) return ec;
    if (!IsFolder(info)) return std::make_error_code(std::errc::not_a_directory);
    folder.identifyAs(IdentityOf(info));
    return {};
}

// Opens one folder of a chain: it must be a real folder, not a reparse point. Its handle shares
// no deletion, so it cannot be renamed or removed while held.
std::error_code HoldFolder(Win32Folder& folder, const fs::path& path) {
    const HANDLE h = OpenFolderHandle(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (h == INVALID_HANDLE_VALUE) return Win32Error();
    folder.hold(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (auto ec = InformationOf(h, info)) return ec;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    }
    if (!IsFolder(info)) return std::make_error_code(std::errc::not_a_directory);
    folder.identifyAs(IdentityOf(info));
    return {};
}

// Opens the folder `name` inside the folder open as `parent`, from that handle itself: Windows'
// own open relative to a folder (Win32 has none), so the name is looked up in that very folder
// whatever became of the path that led to it, in one open. A reparse point there is opened as
// itself, never followed; the handle shares no deletion, so the folder cannot be renamed or
// removed while held.
std::error_code OpenFolderIn(HANDLE parent, const std::wstring& name, HANDLE& out) {
    out = INVALID_HANDLE_VALUE;
    // One name: a separator would walk on, through any junction on the way.
    if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/:") != std::wstring::npos ||
        name.size() > 32767) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    const NTSTATUS status = ::NtCreateFile(
        &h, FILE_GENERIC_READ, &attributes, &io, nullptr, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
        FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT,
        nullptr, 0);
    if (status < 0) return Win32Error(::RtlNtStatusToDosError(status));
    out = h;
    return {};
}

// Opens the named mutex, made if no process has it yet, and takes it if no one holds it: `taken`
// is the handle when it was taken, null when another holds it. An abandoned mutex, left by a
// holder that ended without letting go, is taken as a free one.
std::error_code TryTakeMutex(const std::wstring& name, HANDLE& taken) {
    taken = nullptr;
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (!mutex) return Win32Error();
    const DWORD got = ::WaitForSingleObject(mutex, 0);
    if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
        taken = mutex;
        return {};
    }
    const std::error_code ec = got == WAIT_TIMEOUT ? std::error_code{} : Win32Error();
    ::CloseHandle(mutex);
    return ec;
}

// Readers and a writer made of plain mutexes: each shared holder keeps one of these slots, an
// exclusive holder keeps the "-x" mutex and every slot.
constexpr int kLockSlots = 64;

std::wstring SlotName(const std::wstring& base, int slot) { return base + L"-s" + std::to_wstring(slot); }

// Takes "-x", then every slot; gives all back at the first one another holds.
std::error_code TakeExclusive(const std::wstring& base, std::vector<HANDLE>& mutexes) {
    const auto busy = std::make_error_code(std::errc::resource_unavailable_try_again);
    HANDLE taken = nullptr;
    if (auto ec = TryTakeMutex(base + L"-x", taken)) return ec;
    if (!taken) return busy;
    mutexes.push_back(taken);
    for (int slot = 0; slot < kLockSlots; ++slot) {
        const std::error_code ec = TryTakeMutex(SlotName(base, slot), taken);
        if (ec || !taken) {
            ReleaseMutexes(mutexes);
            return ec ? ec : busy;
        }
        mutexes.push_back(taken);
    }
    return {};
}

// Takes a free slot, then makes sure no exclusive holder has "-x": one that takes "-x" later
// finds the slot taken. "-x" is given back at once.
std::error_code TakeShared(const std::wstring& base, std::vector<HANDLE>& mutexes) {
    const auto busy = std::make_error_code(std::errc::resource_unavailable_try_again);
    HANDLE slot = nullptr;
    for (int i = 0; i < kLockSlots && !slot; ++i) {
        if (auto ec = TryTakeMutex(SlotName(base, i), slot)) return ec;
    }
    if (!slot) return busy;
    mutexes.push_back(slot);
    HANDLE writer = nullptr;
    const std::error_code ec = TryTakeMutex(base + L"-x", writer);
    if (ec || !writer) {
        ReleaseMutexes(mutexes);
        return ec ? ec : busy;
    }
    ::ReleaseMutex(writer);
    ::CloseHandle(writer);
    return {};
}

PathFacts FactsOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, FILETIME written) {
    PathFacts facts;
    facts.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder
                 : (attributes & FILE_ATTRIBUTE_DEVICE)  ? PathKind::Other
                                                         : PathKind::File;
    if (facts.kind == PathKind::File) {
        facts.size = (std::uintmax_t{sizeHigh} << 32) | sizeLow;
        facts.modified = FileTimeOf(written).seconds;
        facts.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        facts.archive = (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0;
    }
    facts.hidden = (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    return facts;
}

// A name that is not there, or that Win32 cannot even take as one, is no failure: it is simply
// missing.
bool IsNotThere(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME ||
           code == ERROR_BAD_NETPATH || code == ERROR_BAD_NET_NAME;
}

// Past a reparse point: what the link leads to, as opening the name sees it.
PathFacts FactsThroughLink(const fs::path& path) {
    PathFacts facts;
    facts.link = true;
    const OwnedHandle h(OpenForAttributes(path, FILE_READ_ATTRIBUTES));
    if (!h.ok()) {
        const DWORD code = ::GetLastError();
        if (!IsNotThere(code)) facts.error = Win32Error(code);
        return facts;  // a link to nothing is as good as no name
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (auto ec = InformationOf(h.get(), info)) {
        facts.error = ec;
        return facts;
    }
    facts = FactsOf(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime);
    facts.link = true;
    return facts;
}

// The entries of the folder open as h, read through the handle, many to a call. Only a reparse
// point takes a look more, by its name, to tell what it leads to.
std::error_code ListThroughHandle(HANDLE h, const fs::path& folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    // 64 KiB a call, aligned as the entries are.
    constexpr std::size_t kPiece = 64 * 1024;
    std::vector<std::uint64_t> piece(kPiece / sizeof(std::uint64_t));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(piece.data());
    constexpr std::size_t kNameAt = offsetof(FILE_FULL_DIR_INFO, FileName);
    FILE_INFO_BY_HANDLE_CLASS next = FileFullDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(h, next, piece.data(), static_cast<DWORD>(kPiece))) {
            const DWORD code = ::GetLastError();
            // Not even "." to list (a drive's root with nothing in it) says "not found" at first.
            const bool end =
                code == ERROR_NO_MORE_FILES || (next == FileFullDirectoryRestartInfo && code == ERROR_FILE_NOT_FOUND);
            return end ? std::error_code{} : Win32Error(code);
        }
        next = FileFullDirectoryInfo;
        for (std::size_t at = 0;;) {
            if (at + kNameAt > kPiece) return std::make_error_code(std::errc::bad_message);
            FILE_FULL_DIR_INFO entry;
            std::memcpy(&entry, bytes + at, kNameAt);
            if (entry.FileNameLength % sizeof(wchar_t) != 0 || entry.FileNameLength > kPiece - at - kNameAt) {
                return std::make_error_code(std::errc::bad_message);
            }
            std::wstring name(entry.FileNameLength / sizeof(wchar_t), L'\0');
            std::memcpy(name.data(), bytes + at + kNameAt, entry.FileNameLength);
            if (name != L"." && name != L"..") {
                FILETIME written{entry.LastWriteTime.LowPart, static_cast<DWORD>(entry.LastWriteTime.HighPart)};
                entries.push_back({fs::path(name), {}});
                entries.back().facts = (entry.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                                           ? FactsThroughLink(folder / name)
                                           : FactsOf(entry.FileAttributes, static_cast<DWORD>(entry.EndOfFile.HighPart),
                                                     entry.EndOfFile.LowPart, written);
            }
            if (entry.NextEntryOffset == 0) break;
            at += entry.NextEntryOffset;
        }
    }
}

class RealFs final : public FileSystem {
public:
    std::error_code openRead(const fs::path& path, std::unique_ptr<InputFile>& out) override {
        return open(path, FILE_ATTRIBUTE_NORMAL, out);
    }

    // Opened as the reparse point itself, a link is seen for what it is and refused.
    std::error_code openReadNoFollow(const fs::path& path, std::unique_ptr<InputFile>& out) override {
        std::unique_ptr<InputFile> opened;
        if (auto ec = open(path, FILE_FLAG_OPEN_REPARSE_POINT, opened)) return ec;
        if (examine(path).link) return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        out = std::move(opened);
        return {};
    }

    std::error_code open(const fs::path& path, DWORD flags, std::unique_ptr<InputFile>& out) {
        // Opened without sharing writes, no program can change the file while it is read and
        // copied; one that holds it open for writing already makes that open fail, and the
        // file is opened sharing writes, its bytes then to be checked by the reader.
        bool writersShut = true;
        OwnedHandle h(::CreateFileW(Win32Path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr));
        if (!h.ok() && ::GetLastError() == ERROR_SHARING_VIOLATION) {
            writersShut = false;
            h.reset(::CreateFileW(Win32Path(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags,
                                  nullptr));
        }
        if (!h.ok()) {
            // Opening a folder fails with "access denied", which would say the wrong thing.
            const DWORD code = ::GetLastError();
            if (code == ERROR_ACCESS_DENIED && examine(path).kind == PathKind::Folder) {
                return std::make_error_code(std::errc::is_a_directory);
            }
            return Win32Error(code);
        }
        // A pipe, a console or another device reads as no file does.
        if (::GetFileType(h.get()) != FILE_TYPE_DISK) return std::make_error_code(std::errc::operation_not_supported);
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(h.get(), &size)) return Win32Error();
        out = std::make_unique<Win32InputFile>(h.release(), static_cast<std::uint64_t>(size.QuadPart), writersShut);
        return {};
    }

    std::error_code create(const fs::path& path, std::unique_ptr<OutputFile>& out) override {
        return OpenForWriting(path, CREATE_ALWAYS, out);
    }

    // Files in folders of the user's own are the user's already.
    std::error_code createNew(const fs::path& path, std::unique_ptr<OutputFile>& out, FolderAccess) override {
        return OpenForWriting(path, CREATE_NEW, out);
    }

    std::error_code rename(const fs::path& from, const fs::path& to) override {
        const std::wstring source = Win32Path(from);
        const std::wstring target = Win32Path(to);
        // Write-through: the call returns once the new name is on the disk.
        constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
        auto move = [&] { return ::MoveFileExW(source.c_str(), target.c_str(), kMoveFlags) != 0; };
        if (move()) return {};
        DWORD code = ::GetLastError();
        // MoveFileExW will not replace a read-only file (a ".BAK" that kept a read-only drawing),
        // where POSIX's rename replaces any. Through a handle held across the move, the attribute
        // is cleared for it and put back after it: the file replaced may live on under another
        // name (a hard link shares its attributes), and keeps what it said of itself there.
        const DWORD attributes = ::GetFileAttributesW(target.c_str());
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            const OwnedHandle replaced(::CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (replaced.ok() && SetAttributesOf(replaced.get(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
                const bool moved = move();
                code = moved ? DWORD{ERROR_SUCCESS} : ::GetLastError();
                SetAttributesOf(replaced.get(), attributes);
                if (moved) return {};
            }
        }
        code = WhyDenied(code, target);
        return Win32Error(WhyDenied(code, source));
    }

    // DeleteFileW refuses a read-only file; this program's own files (a temp file that took a
    // read-only drawing's attributes, a hidden second name of one) must go all the same. Through
    // one handle the attribute is cleared, the name marked to go, and the attribute put back for
    // the file's other names, which share it and keep the file once this name is gone.
    std::error_code remove(const fs::path& path) override {
        const std::wstring name = Win32Path(path);
        if (::DeleteFileW(name.c_str())) return {};
        const DWORD code = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(name.c_str());
        if (code != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
            !(attributes & FILE_ATTRIBUTE_READONLY) || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return Win32Error(WhyDenied(code, name));
        }
        const OwnedHandle h(::CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!h.ok()) return Win32Error(WhyDenied(::GetLastError(), name));
        if (!SetAttributesOf(h.get(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) return Win32Error();
        FILE_DISPOSITION_INFO dispose{};
        dispose.DeleteFile = TRUE;
        const bool marked = ::SetFileInformationByHandle(h.get(), FileDispositionInfo, &dispose, sizeof dispose) != 0;
        const DWORD why = ::GetLastError();
        BY_HANDLE_FILE_INFORMATION info{};
        if (!marked || (::GetFileInformationByHandle(h.get(), &info) && info.nNumberOfLinks > 1)) {
            SetAttributesOf(h.get(), attributes);
        }
        return marked ? std::error_code{} : Win32Error(why);
    }

    std::error_code link(const fs::path& existing, const fs::path& newName) override {
        const std::wstring target = Win32Path(existing);
        if (::CreateHardLinkW(Win32Path(newName).c_str(), target.c_str(), nullptr)) return {};
        return Win32Error(WhyDenied(::GetLastError(), target));
    }

    std::error_code attributesOf(const fs::path& path, FileAttributes& out) override {
        const DWORD attributes = ::GetFileAttributesW(Win32Path(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return Win32Error();
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return std::make_error_code(std::errc::operation_not_supported);
        out = {};
        out.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        return {};
    }

    // The user's temp folder, where the run's private folders go, is the user's alone already.
    std::error_code createDirectory(const fs::path& path, FolderAccess) override {
        return ::CreateDirectoryW(Win32Path(path).c_str(), nullptr) ? std::error_code{} : Win32Error();
    }

    // A link to a folder (a junction, or a symbolic link to a folder) goes as a folder does, the
    // link alone, never what it leads to. A name that is not there is left to RemoveDirectoryW to
    // tell about.
    std::error_code removeDirectory(const fs::path& path) override {
        const PathKind kind = examine(path).kind;
        if (kind == PathKind::File || kind == PathKind::Other) return std::make_error_code(std::errc::not_a_directory);
        return ::RemoveDirectoryW(Win32Path(path).c_str()) ? std::error_code{} : Win32Error();
    }

    // NTFS journals its names, and renames are written through: nothing is left to push.
    std::error_code syncDirectory(const fs::path&) override { return {}; }
    bool canSyncFileSystems() override { return false; }
    std::error_code syncFileSystem(const fs::path&) override {
        return std::make_error_code(std::errc::function_not_supported);
    }

    PathFacts examine(const fs::path& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(Win32Path(path).c_str(), GetFileExInfoStandard, &data)) {
            PathFacts facts;
            const DWORD code = ::GetLastError();
            if (!IsNotThere(code)) facts.error = Win32Error(code);
            return facts;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return FactsThroughLink(path);
        return FactsOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
    }

    // The listing gives each entry's attributes and size; only a reparse point takes a look more.
    std::error_code listFolder(const fs::path& folder, std::vector<FolderEntry>& entries) override {
        entries.clear();
        std::wstring pattern = Win32Path(folder);
        if (pattern.empty()) pattern = L".";
        if (!IsSeparator(pattern.back())) pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW found{};
        const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE) {
            // Not even "." to list: a drive's root with nothing in it.
            const DWORD code = ::GetLastError();
            return code == ERROR_FILE_NOT_FOUND ? std::error_code{} : Win32Error(code);
        }
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            entries.push_back({fs::path(name), {}});
            entries.back().facts =
                (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                    ? FactsThroughLink(folder / name)
                    : FactsOf(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow, found.ftLastWriteTime);
        } while (::FindNextFileW(search, &found));
        const DWORD code = ::GetLastError();
        ::FindClose(search);
        return code == ERROR_NO_MORE_FILES ? std::error_code{} : Win32Error(code);
    }

    std::error_code identify(const fs::path& path, FileIdentity& out) override {
        const OwnedHandle h(OpenForAttributes(path, 0));
        if (!h.ok()) return Win32Error();
        BY_HANDLE_FILE_INFORMATION info{};
        if (auto ec = InformationOf(h.get(), info)) return ec;
        out = IdentityOf(info);
        return {};
    }

    // NTFS, FAT and exFAT each keep a file's index as long as the file is there.
    bool identityTrusted(const fs::path&) override { return true; }

    // Win32 itself takes names that differ only in letter case for one and the same name.
    std::error_code foldsCase(const fs::path&, bool, LetterCase& out) override {
        out = {true, true};
        return {};
    }

    fs::path resolve(const fs::path& path) override {
        // An empty path is the current folder, as std::filesystem::absolute takes it.
        const std::wstring given = path.empty() ? std::wstring(L".") : path.native();
        std::wstring full = given.starts_with(L"\\\\?\\") ? given : FullPathName(given);
        while (full.size() > RootLength(full) && IsSeparator(full.back())) full.pop_back();
        return full;
    }

    std::error_code tempFolder(fs::path& out) override {
        std::wstring text(MAX_PATH + 1, L'\0');
        for (;;) {
            const DWORD n = ::GetTempPathW(static_cast<DWORD>(text.size()), text.data());
            if (n == 0) return Win32Error();
            if (n < text.size()) {
                text.resize(n);
                break;
            }
            text.resize(n + 1);
        }
        while (text.size() > RootLength(text) && IsSeparator(text.back())) text.pop_back();
        out = std::move(text);
        return {};
    }

    // A file: whether it opens for writing (nothing is changed). A folder: whether a file can be
    // made in it, tried with a file of the program's own temp name, as Windows' access rules
    // (inherited ACLs, Program Files) tell no simpler way.
    bool writable(const fs::path& path) override {
        const PathFacts facts = examine(path);
        if (facts.kind == PathKind::File) {
            OwnedHandle h(::CreateFileW(Win32Path(path).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
            return h.ok();
        }
        if (facts.kind != PathKind::Folder) return false;
        const fs::path probe = path / (L".qm-" + std::to_wstring(::GetCurrentProcessId() % 10000000000ULL) + L".tmp");
        OwnedHandle h(::CreateFileW(Win32Path(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        return h.ok();
    }

    // Windows reaches folders by name only: the tree below the held folder's name, with
    // reparse points removed as links, never entered.
    std::error_code removeTreeIn(const FolderHandle& parent, const fs::path& name) override {
        return RemoveTree(*this, parent.path() / name);
    }

    std::error_code holdFolder(const fs::path& folder, std::unique_ptr<FolderHandle>& out) override {
        auto held = std::make_unique<Win32Folder>(folder);
        if (auto ec = HoldFollowing(*held, folder, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
            return ec;
        }
        out = std::move(held);
        return {};
    }

    std::error_code pinFolder(const FolderHandle& root, const fs::path& below, bool create,
                              std::unique_ptr<FolderHandle>& out) override {
        if (below.has_root_name() || below.has_root_directory()) {
            return std::make_error_code(std::errc::invalid_argument);
        }
        // Windows reaches a held folder only by its name. Opened again without sharing deletion,
        // the root can no longer be renamed; if what the name reaches now is not the folder held
        // (renamed meanwhile, another put in its place), the root is gone.
        auto folder = std::make_unique<Win32Folder>(root.path());
        const auto* held = dynamic_cast<const Win32Folder*>(&root);
        if (auto ec = HoldFollowing(*folder, root.path(), FILE_SHARE_READ | FILE_SHARE_WRITE)) return ec;
        if (held && folder->identity() != held->identity()) {
            return std::make_error_code(std::errc::no_such_file_or_directory);
        }
        fs::path checked = root.path();
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
        folder->reachedAs(std::move(checked));
        out = std::move(folder);
        return {};
    }

    // One open a folder, from the handle of the folder above: entered so, the folders on the way
    // down each share no deletion, and none of them can be renamed or removed while held.
    std::error_code enterFolder(const FolderHandle& parent, const fs::path& name,
                                std::unique_ptr<FolderHandle>& out) override {
        const auto* held = dynamic_cast<const Win32Folder*>(&parent);
        if (!held || held->handle() == INVALID_HANDLE_VALUE) return pinFolder(parent, name, false, out);
        HANDLE h = INVALID_HANDLE_VALUE;
        if (auto ec = OpenFolderIn(held->handle(), name.native(), h)) return ec;
        auto folder = std::make_unique<Win32Folder>(parent.path() / name);
        folder->hold(h);
        // Its attributes alone: all the file information would ask the volume for its serial
        // number too, which Wine reads from the device each time.
        FILE_ATTRIBUTE_TAG_INFO info{};
        if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info)) return Win32Error();
        if (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        }
        if (!(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::make_error_code(std::errc::not_a_directory);
        out = std::move(folder);
        return {};
    }

    std::error_code listHeld(const FolderHandle& folder, std::vector<FolderEntry>& entries) override {
        const auto* held = dynamic_cast<const Win32Folder*>(&folder);
        if (!held || held->handle() == INVALID_HANDLE_VALUE) return listFolder(folder.path(), entries);
        return ListThroughHandle(held->handle(), folder.path(), entries);
    }

    // Windows locks byte ranges of files only, not folders: the lock is made of mutexes named
    // after the folder's identity (volume and file index), so every spelling of the folder meets
    // the same ones, and a killed holder's mutexes come free. It holds between the processes of
    // one machine.
    std::error_code lockFolder(const fs::path& folder, LockMode mode, std::unique_ptr<FolderHandle>& out) override {
        auto held = std::make_unique<Win32Folder>(folder);
        // Sharing deletion, so that a holder of the lock may still remove the folder.
        if (auto ec = HoldFollowing(*held, folder, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
            return ec;
        }
        const std::wstring base = L"Global\\quellmark-folder-" + std::to_wstring(held->identity().device) + L"-" +
                                  std::to_wstring(held->identity().file);
        const auto busy = std::make_error_code(std::errc::resource_unavailable_try_again);

        // The registry stays locked while the mutexes are tried (none of which waits), so that
        // two threads of this process see each other's locks whole.
        {
            ProcessLocks& locks = LocksOfThisProcess();
            const std::lock_guard<std::mutex> guard(locks.guard);
            FolderLocks& mine = locks.byName[base];
            const bool conflict = mode == LockMode::Exclusive ? mine.exclusive || mine.shared > 0 : mine.exclusive;
            std::vector<HANDLE> mutexes;
            mutexes.reserve(kLockSlots + 1);  // so that no mutex taken is lost to a failed push_back
            const std::error_code ec = conflict                      ? busy
                                       : mode == LockMode::Exclusive ? TakeExclusive(base, mutexes)
                                                                     : TakeShared(base, mutexes);
            if (ec) {
                if (!mine.exclusive && mine.shared == 0) locks.byName.erase(base);
                return ec;
            }
            if (mode == LockMode::Exclusive) {
                mine.exclusive = true;
            } else {
                ++mine.shared;
            }
            held->own(base, mode, std::move(mutexes));
        }
        // Out of the registry's lock: a lock that `out` held before lets go through it.
        out = std::move(held);
        return {};
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static RealFs instance;
    return instance;
}

}  // namespace quellmark
