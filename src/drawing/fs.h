// The few file-system calls that reading and writing drawings make, behind one small interface,
// so tests can make a write fail after N bytes, a rename fail, or a file vanish.
#pragma once

#include "bytes.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quellmark {

class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes all the bytes; `written` tells how many went out, also when it fails part way.
    virtual std::error_code write(std::span<const std::uint8_t> bytes, std::size_t& written) = 0;
    // Pushes what was written to the device.
    virtual std::error_code sync() = 0;
    virtual std::error_code close() = 0;
};

// A folder held open: until it goes, path() reaches this very folder, whatever happens meanwhile
// to the names above it; and a lock taken through it lasts as long.
class FolderHandle {
public:
    virtual ~FolderHandle() = default;
    virtual const std::filesystem::path& path() const = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Reads the file with one read, at most limit bytes of it.
    virtual std::error_code readFile(const std::filesystem::path& path, FileBytes& out,
                                     std::size_t limit = std::numeric_limits<std::size_t>::max()) = 0;
    // Creates the file, or truncates one that is there.
    virtual std::error_code create(const std::filesystem::path& path,
                                   std::unique_ptr<OutputFile>& out) = 0;
    // Creates the file only when no file of that name exists.
    virtual std::error_code createNew(const std::filesystem::path& path,
                                      std::unique_ptr<OutputFile>& out) = 0;
    virtual std::error_code rename(const std::filesystem::path& from,
                                   const std::filesystem::path& to) = 0;
    virtual std::error_code remove(const std::filesystem::path& path) = 0;
    // Gives the file a second name in the same folder (a hard link).
    virtual std::error_code link(const std::filesystem::path& existing, const std::filesystem::path& newName) = 0;
    // Gives `to` the permission bits of `from` and, where the process may, its owner and group.
    virtual std::error_code copyPermissions(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    virtual std::error_code createDirectory(const std::filesystem::path& path) = 0;
    virtual std::error_code removeDirectory(const std::filesystem::path& path) = 0;
    // Makes a rename in the folder durable.
    virtual std::error_code syncDirectory(const std::filesystem::path& path) = 0;
    // Pushes everything written to the file system that holds the folder to its device, in one
    // go (where canSyncFileSystems says it can).
    virtual bool canSyncFileSystems() { return false; }
    virtual std::error_code syncFileSystem(const std::filesystem::path& folder) {
        (void)folder;
        return std::make_error_code(std::errc::function_not_supported);
    }
    // Opens the folder `below` (relative, may be empty) inside root, entering each folder from the
    // one above without following symbolic links; with create, missing folders are made. A link
    // or anything else that is not a real folder on the way fails (too_many_symbolic_link_levels,
    // not_a_directory). root itself is taken as given.
    virtual std::error_code pinFolder(const std::filesystem::path& root, const std::filesystem::path& below,
                                      bool create, std::unique_ptr<FolderHandle>& out) = 0;
    // An advisory lock on the folder, exclusive between processes: with wait, blocks until it is
    // free; without, fails with resource_unavailable_try_again when another process holds it.
    virtual std::error_code lockFolder(const std::filesystem::path& folder, bool wait,
                                       std::unique_ptr<FolderHandle>& out) = 0;
    // The names in a folder (not "." and ".."), in UTF-8.
    virtual std::error_code listNames(const std::filesystem::path& folder, std::vector<std::string>& names) = 0;
    virtual bool isFile(const std::filesystem::path& path) = 0;
    virtual bool isDirectory(const std::filesystem::path& path) = 0;
};

// The process's real file system.
FileSystem& RealFileSystem();

// A ByteSink over an OutputFile: a failed write throws DrawingError with the reason and the
// offset of the first byte that could not be written.
class FileSink final : public ByteSink {
public:
    explicit FileSink(OutputFile& file) : file_(file) {}
    void write(std::span<const std::uint8_t> bytes) override;

private:
    OutputFile& file_;
    std::uint64_t written_ = 0;
};

// What a path leads to. A link at the end of the path is followed: kind and size are those of
// what it leads to, and `link` says the name itself is a link (on Windows, any reparse point: a
// symbolic link or a junction). Through Win32 calls and the long-path prefix on Windows, where
// the C library's own calls stop at MAX_PATH characters.
enum class PathKind { Missing, File, Folder, Other };
struct PathFacts {
    PathKind kind = PathKind::Missing;
    bool link = false;
    std::uintmax_t size = 0;  // a file's size
    std::error_code error;    // why the path could not be examined; not set when it is simply not there
};
PathFacts Examine(const std::filesystem::path& path);

// The entries of a folder, not "." and "..", each as Examine tells it; the order is the system's.
struct FolderEntry {
    std::filesystem::path name;
    PathFacts facts;
};
std::error_code ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries);

// Makes the folder and each missing folder above it.
std::error_code CreateFolders(const std::filesystem::path& path);

// Gives `to` the modification time of `from`.
std::error_code CopyModificationTime(const std::filesystem::path& from, const std::filesystem::path& to);

// Whether two paths name the same file or folder, however they are spelled (case, drive letter,
// \\?\ prefix, links); false when either cannot be reached.
bool SameFileOrFolder(const std::filesystem::path& a, const std::filesystem::path& b);

// The path absolute, in the form the system resolves it to as far as it exists, without a
// trailing separator: on POSIX its links resolved (so ".." after a link leads where the kernel
// goes); on Windows made full as Win32 makes every path (".." taken by spelling), a \\?\ path
// kept as it is.
std::filesystem::path SystemAbsolute(const std::filesystem::path& path);

// Whether path is the folder or lies inside it, compared by identity (SameFileOrFolder) from
// path up through each folder above it to its root, so no spelling hides the folder; the part of
// path that does not exist yet is passed over.
enum class Nesting { Apart, Same, Inside };
Nesting NestingIn(const std::filesystem::path& path, const std::filesystem::path& folder);

// Why the system cannot give a file or folder this name (one component of a path), or empty
// when it can. Windows keeps CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 for devices in every
// folder, whatever the case and the extension ("con.jww" opens the console, not a file); other
// systems forbid no name a folder can list.
std::string DeviceNameReason(const std::filesystem::path& name);

#ifdef _WIN32
// The path as Win32 calls take it: past MAX_PATH characters only with the \\?\ prefix, which in
// turn wants an absolute path with backslashes and nothing like "." or ".."; a share becomes
// \\?\UNC\server\share\... .
std::wstring Win32Path(const std::filesystem::path& path);
#endif

// A path as UTF-8 text, for messages and lists (on POSIX, the bytes as they are), and back.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(std::string_view text);

// This process's id, for names of temporary files that must not meet another process's.
long ProcessId();

// "No such file or directory" and the like, for messages.
std::string ErrorText(std::error_code ec);

}  // namespace quellmark
