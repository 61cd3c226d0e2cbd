// Everything the program asks of the file system, behind one interface: the real one of each
// system (files_posix.cpp, files_win32.cpp) and, in the tests, doubles that fail any call on
// demand. Nothing outside this folder calls the system's file functions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace quellmark {

// An allocator whose resize() leaves new bytes as they are instead of zeroing them: a buffer
// about to be filled by a read would otherwise be written twice.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// The bytes of a file as read: filled by the read, never zeroed first.
using FileBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

// A moment as file systems keep it: seconds and nanoseconds since 1970-01-01 UTC.
struct FileTime {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    bool operator==(const FileTime&) const = default;
};

// What a new file takes over from the one it replaces: its permission bits and, where the
// process may give files away, its owner and group (POSIX); whether it is read-only (Windows).
struct FileAttributes {
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    bool readOnly = false;
};

// What a test of another process's lock on a file shows: held for writing, free, or nothing the
// system can tell (no locks on this file system).
enum class LockSeen { Held, Free, Unknown };
// What the system can tell of a file since it was opened (or read again from its start).
enum class SinceOpened { Unchanged, Changed, CannotTell };

// A regular file open for reading, from its first byte on.
class InputFile {
public:
    virtual ~InputFile() = default;
    // The size the file had when it was opened.
    virtual std::uint64_t size() const = 0;
    // Reads up to bytes.size() bytes where the last read ended; got is 0 at the end of the file.
    [[nodiscard]] virtual std::error_code read(std::span<std::uint8_t> bytes, std::size_t& got) = 0;
    // Back to the first byte, to read the file again; what sinceOpened() tells counts from here.
    [[nodiscard]] virtual std::error_code rewind() { return std::make_error_code(std::errc::operation_not_supported); }
    // Asks, before anything is read, what sinceOpened() needs to know: whether the system stamps
    // every write of this file where it can be seen, and whether another program holds the file
    // open for writing (a writer through a mapping changes bytes without a stamp).
    virtual void watchForChanges() {}
    // Whether the file was written since it was opened, as far as the system tells: Changed when
    // its size or times moved; Unchanged only where watchForChanges found that any write would
    // move them (the file's times older than the clock's coarsest step, a local file system that
    // stamps writes itself, no other program holding the file open for writing, or no program
    // able to write it while it is open); CannotTell elsewhere.
    virtual SinceOpened sinceOpened() const { return SinceOpened::CannotTell; }
    // The file's last write and its owner, as they were when it was opened.
    virtual FileTime modified() const { return {}; }
    virtual std::uint32_t owner() const { return 0; }
    // Whether another open of the file holds the lock OutputFile::holdLock takes.
    virtual LockSeen lockSeen() { return LockSeen::Unknown; }
};

class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes all the bytes where the last write or copy ended; `written` tells how many went out,
    // also when it fails part way.
    [[nodiscard]] virtual std::error_code write(std::span<const std::uint8_t> bytes, std::size_t& written) = 0;
    // Writes the pieces one after the other, as write() would write them joined.
    [[nodiscard]] virtual std::error_code writeGathered(std::span<const std::span<const std::uint8_t>> pieces,
                                                        std::size_t& written) {
        written = 0;
        for (const std::span<const std::uint8_t> piece : pieces) {
            std::size_t done = 0;
            const std::error_code ec = write(piece, done);
            written += done;
            if (ec) return ec;
        }
        return {};
    }
    // Appends `length` bytes of source, from its byte `from` on, copied inside the system (sharing
    // the source's blocks where the file system can and the offsets allow). `copied` tells how
    // many went out, also when it fails part way; fewer than asked without a failure when the
    // source ended first. operation_not_supported, with nothing written, where the system has no
    // such copy between the two files: the caller writes the bytes itself.
    [[nodiscard]] virtual std::error_code copyFrom(InputFile& source, std::uint64_t from, std::uint64_t length,
                                                   std::uint64_t& copied) {
        (void)source;
        (void)from;
        (void)length;
        copied = 0;
        return std::make_error_code(std::errc::operation_not_supported);
    }
    // Writes the bytes at the offset, over bytes written before; the next write still goes where
    // the last one ended.
    [[nodiscard]] virtual std::error_code writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
        (void)offset;
        (void)bytes;
        return std::make_error_code(std::errc::operation_not_supported);
    }
    // Gives the file the attributes of another, through this handle (never by its name, which
    // someone else may have given to another file meanwhile).
    [[nodiscard]] virtual std::error_code takeAttributes(const FileAttributes& attributes) {
        (void)attributes;
        return std::make_error_code(std::errc::operation_not_supported);
    }
    // Sets the file's last write; with touch, to now.
    [[nodiscard]] virtual std::error_code setModified(const FileTime& time) {
        (void)time;
        return std::make_error_code(std::errc::operation_not_supported);
    }
    [[nodiscard]] virtual std::error_code touch() { return std::make_error_code(std::errc::operation_not_supported); }
    // Takes a lock on the file that lasts while this handle is open, which InputFile::lockSeen
    // shows to others; never waits. Fails where the file system has no locks.
    [[nodiscard]] virtual std::error_code holdLock() {
        return std::make_error_code(std::errc::operation_not_supported);
    }
    // Pushes what was written to the device.
    [[nodiscard]] virtual std::error_code sync() = 0;
    [[nodiscard]] virtual std::error_code close() = 0;
};

// A folder held open: until it goes, path() reaches this very folder, whatever happens meanwhile
// to the names above it; a lock taken with it lasts as long.
class FolderHandle {
public:
    virtual ~FolderHandle() = default;
    virtual const std::filesystem::path& path() const = 0;
    // Whether the folder belongs to the user this process runs as (on systems with owners).
    virtual bool ownedByThisUser() const { return true; }
    // Where the folder is now, as the system tells through the handle (after it was moved to
    // the Trash, say); empty when it cannot tell or the folder was removed.
    [[nodiscard]] virtual std::filesystem::path whereNow() const { return {}; }
};

// What a path leads to. A link at the end of the path is followed: kind and size are those of
// what it leads to, and `link` says the name itself is a link (on Windows, any reparse point: a
// symbolic link or a junction).
enum class PathKind { Missing, File, Folder, Other };
struct PathFacts {
    PathKind kind = PathKind::Missing;
    bool link = false;
    std::uintmax_t size = 0;    // a file's size
    std::error_code error;      // why the path could not be examined; not set when it is simply not there
    std::int64_t modified = 0;  // a file's last write, in seconds since 1970-01-01 UTC
    bool readOnly = false;      // a file its owner may not write (Windows: the read-only attribute)
    std::uint32_t owner = 0;    // the user a file belongs to (POSIX); 0 on Windows
    bool archive = false;       // Windows' archive attribute; no other system has one
    // Left out of what the window lists: a name starting with "." (Windows: the hidden or the
    // system attribute).
    bool hidden = false;
};

// One entry of a folder, not "." and "..", as examine() tells it.
struct FolderEntry {
    std::filesystem::path name;
    PathFacts facts;
};

// What names a file or folder on this machine whatever the path that leads to it: the device
// (volume) and the file's number on it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// How a folder takes names that differ only in letter case.
struct LetterCase {
    bool folds = false;  // as one and the same name
    // Every folder of its file system answers alike (its type tells, or a probe of it did; no
    // flag of a folder, as ext4's case folding, turns folding on), so the answer holds for
    // every folder on the same device.
    bool wholeDevice = false;
};

// Locks on folders, between processes: any number of shared holders, or one exclusive one.
enum class LockMode { Shared, Exclusive };

// Folders only this user may enter (the run's temp folders), or folders as any made.
enum class FolderAccess { Ordinary, Private };

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // ---- reading ----
    // Opens a regular file; a folder fails with is_a_directory, anything else that is no
    // regular file (a fifo, a device) with operation_not_supported, without waiting for it.
    [[nodiscard]] virtual std::error_code openRead(const std::filesystem::path& path,
                                                   std::unique_ptr<InputFile>& out) = 0;
    // The same for a name whose last part may not be a link: a link fails with
    // too_many_symbolic_link_levels, and is never followed.
    [[nodiscard]] virtual std::error_code openReadNoFollow(const std::filesystem::path& path,
                                                           std::unique_ptr<InputFile>& out) = 0;

    // ---- writing ----
    // Creates the file, or truncates one that is there.
    [[nodiscard]] virtual std::error_code create(const std::filesystem::path& path,
                                                 std::unique_ptr<OutputFile>& out) = 0;
    // Creates the file only when no file of that name exists; a private one only this user may
    // open until its permissions are changed.
    [[nodiscard]] virtual std::error_code createNew(const std::filesystem::path& path, std::unique_ptr<OutputFile>& out,
                                                    FolderAccess access = FolderAccess::Ordinary) = 0;
    [[nodiscard]] virtual std::error_code rename(const std::filesystem::path& from,
                                                 const std::filesystem::path& to) = 0;
    [[nodiscard]] virtual std::error_code remove(const std::filesystem::path& path) = 0;
    // Gives the file a second name in the same folder (a hard link).
    [[nodiscard]] virtual std::error_code link(const std::filesystem::path& existing,
                                               const std::filesystem::path& newName) = 0;
    // The attributes a replacing file takes of the file at the path; a link is not looked
    // through (too_many_symbolic_link_levels), so nothing the link leads to is copied.
    [[nodiscard]] virtual std::error_code attributesOf(const std::filesystem::path& path, FileAttributes& out) = 0;
    // Makes one folder; file_exists when the name is taken, whatever by.
    [[nodiscard]] virtual std::error_code createDirectory(const std::filesystem::path& path,
                                                          FolderAccess access = FolderAccess::Ordinary) = 0;
    // Removes an empty folder; not_a_directory for anything else.
    [[nodiscard]] virtual std::error_code removeDirectory(const std::filesystem::path& path) = 0;
    // Removes the folder `name` inside the held folder with everything in it, entering each
    // folder from the one above without following links (a link inside is removed itself).
    // Returns the first failure and goes on past it.
    [[nodiscard]] virtual std::error_code removeTreeIn(const FolderHandle& parent,
                                                       const std::filesystem::path& name) = 0;
    // Makes a rename in the folder durable.
    [[nodiscard]] virtual std::error_code syncDirectory(const std::filesystem::path& path) = 0;
    // Whether syncFileSystem can push a whole file system to its device in one go.
    [[nodiscard]] virtual bool canSyncFileSystems() = 0;
    [[nodiscard]] virtual std::error_code syncFileSystem(const std::filesystem::path& folder) = 0;

    // ---- looking ----
    [[nodiscard]] virtual PathFacts examine(const std::filesystem::path& path) = 0;
    // The entries of a folder; the order is the system's.
    [[nodiscard]] virtual std::error_code listFolder(const std::filesystem::path& folder,
                                                     std::vector<FolderEntry>& entries) = 0;
    // What the path leads to, links followed.
    [[nodiscard]] virtual std::error_code identify(const std::filesystem::path& path, FileIdentity& out) = 0;
    // Whether identify() can be trusted on the file system that holds the folder: some (FUSE
    // drivers for FAT and exFAT) number a file anew for each spelling of its name.
    [[nodiscard]] virtual bool identityTrusted(const std::filesystem::path& folder) = 0;
    // Whether the folder takes names that differ only in letter case for one and the same name
    // (always on Windows; FAT, exFAT, NTFS and SMB file systems and case-folding folders on
    // Linux). Where nothing else tells: with mayWrite a probe file is made and removed; without,
    // a name the folder holds is looked up in other letter case, and a folder with no name to
    // try says operation_not_supported.
    [[nodiscard]] virtual std::error_code foldsCase(const std::filesystem::path& folder, bool mayWrite,
                                                    LetterCase& out) = 0;
    // The path absolute, in the form the system resolves it to as far as it exists, without a
    // trailing separator: on POSIX its links resolved (so ".." after a link leads where the
    // kernel goes); on Windows made full as Win32 makes every path (".." taken by spelling).
    [[nodiscard]] virtual std::filesystem::path resolve(const std::filesystem::path& path) = 0;
    // The folder for temporary files of this user.
    [[nodiscard]] virtual std::error_code tempFolder(std::filesystem::path& out) = 0;
    // Whether this process may write the file that is there (without changing it), or make
    // files in the folder that is there.
    [[nodiscard]] virtual bool writable(const std::filesystem::path& path) = 0;

    // ---- folders held open ----
    // Holds the folder at the path (links followed).
    [[nodiscard]] virtual std::error_code holdFolder(const std::filesystem::path& folder,
                                                     std::unique_ptr<FolderHandle>& out) = 0;
    // Opens the folder `below` (relative, may be empty) inside the folder held as root, entering
    // each folder from the one above without following symbolic links; with create, missing
    // folders are made. A link or anything else that is not a real folder on the way fails
    // (too_many_symbolic_link_levels, not_a_directory); so does a root whose name has been given
    // to another folder since it was taken (on systems that reach folders only by name).
    [[nodiscard]] virtual std::error_code pinFolder(const FolderHandle& root, const std::filesystem::path& below,
                                                    bool create, std::unique_ptr<FolderHandle>& out) = 0;
    // Opens the folder `name` (one name) inside the held folder, to read the tree below it: the
    // name is looked up in the held folder itself, through its handle, so a folder above that was
    // renamed or replaced meanwhile never leads elsewhere. A link is never entered
    // (too_many_symbolic_link_levels), anything else that is no folder fails (not_a_directory).
    // Where the system can refuse it (Windows), the folder cannot be renamed or removed while held.
    [[nodiscard]] virtual std::error_code enterFolder(const FolderHandle& parent, const std::filesystem::path& name,
                                                      std::unique_ptr<FolderHandle>& out) {
        return pinFolder(parent, name, false, out);
    }
    // The entries of the held folder, read through its handle; the order is the system's.
    [[nodiscard]] virtual std::error_code listHeld(const FolderHandle& folder, std::vector<FolderEntry>& entries) {
        return listFolder(folder.path(), entries);
    }
    // Takes a lock on the folder (links followed) and holds the folder while it lasts. Never
    // waits: resource_unavailable_try_again when another holder's lock stands in the way.
    [[nodiscard]] virtual std::error_code lockFolder(const std::filesystem::path& folder, LockMode mode,
                                                     std::unique_ptr<FolderHandle>& out) = 0;
};

// The process's real file system. Only the programs' main functions and the tests reach for it.
FileSystem& RealFileSystem();

// Reads the whole file (at most limit bytes of it) with as few reads as its size allows.
[[nodiscard]] std::error_code ReadWholeFile(FileSystem& fs, const std::filesystem::path& path, FileBytes& out,
                                            std::size_t limit = SIZE_MAX);

// What an open file holds from where it stands, at most limit bytes of it: for small files of
// the program's own (marks, records), read through the handle that was checked.
[[nodiscard]] std::string ReadText(InputFile& in, std::size_t limit);

// Makes the folder and each missing folder above it; one made by someone else meanwhile is as good.
[[nodiscard]] std::error_code CreateFolders(FileSystem& fs, const std::filesystem::path& path);

// Removes the folder with everything in it; links inside are removed, never followed. Returns
// the first failure and goes on past it.
[[nodiscard]] std::error_code RemoveTree(FileSystem& fs, const std::filesystem::path& folder);

}  // namespace quellmark
