// The real file system on Linux and other POSIX systems.
#include "files.h"
#include "system.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <random>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#ifndef FS_CASEFOLD_FL
#define FS_CASEFOLD_FL 0x40000000
#endif

namespace quellmark {

namespace fs = std::filesystem;

namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

// A descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_;
};

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Whether a write after `now` would show in the file's times. File systems stamp a write with a
// coarse clock (a few milliseconds; FAT rounds to two seconds), so a file written twice within
// one tick keeps its times; a time two seconds before `now` is moved by any later write.
bool TimesShowLaterWrites(const struct stat& st, const timespec& now) {
    return st.st_mtim.tv_sec + 2 <= now.tv_sec || st.st_ctim.tv_sec + 2 <= now.tv_sec;
}

// Whether the file system stamps every write of a file in the kernel, also a write through a
// mapping made after the file was opened: ext2-4, XFS, Btrfs and F2FS do. FUSE and network file
// systems show times the kernel may have cached or that their server gives, FAT and exFAT round
// them, and tmpfs leaves them as they are on a write through a mapping.
bool StampsEveryWrite(int fd) {
    struct statfs facts {};
    if (::fstatfs(fd, &facts) != 0) return false;
    switch (static_cast<unsigned long>(facts.f_type)) {
        case 0xEF53:      // ext2, ext3, ext4
        case 0x58465342:  // XFS
        case 0x9123683E:  // Btrfs
        case 0xF2F52010:  // F2FS
            return true;
        default: return false;
    }
}

// Whether any program holds the file open for writing, a writable mapping included: the kernel
// grants a read lease only where none does. The lease is given back at once; a program opening
// the file for writing in between waits that long. Where no lease can be had (not the file's
// owner, a file system without leases), nobody can tell: it counts as held.
bool HeldForWriting(int fd) {
    // A broken lease is told with SIGIO, which ends a process that does not catch it; SIGURG,
    // which nothing here catches and the system ignores, is asked for instead.
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0) return true;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) return true;
    (void)::fcntl(fd, F_SETLEASE, F_UNLCK);
    return false;
}

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int fd, const struct stat& opened) : fd_(fd) { baseline(opened); }
    std::uint64_t size() const override { return static_cast<std::uint64_t>(opened_.st_size); }
    void watchForChanges() override { watched_ = StampsEveryWrite(fd_.get()) && !HeldForWriting(fd_.get()); }
    SinceOpened sinceOpened() const override {
        struct stat now {};
        if (::fstat(fd_.get(), &now) != 0) return SinceOpened::CannotTell;
        if (now.st_size != opened_.st_size || !SameTime(now.st_mtim, opened_.st_mtim) ||
            !SameTime(now.st_ctim, opened_.st_ctim)) {
            return SinceOpened::Changed;
        }
        // A file written just before it was opened may be written again unseen.
        return watched_ && settled_ ? SinceOpened::Unchanged : SinceOpened::CannotTell;
    }
    std::error_code rewind() override {
        struct stat now {};
        if (::lseek(fd_.get(), 0, SEEK_SET) != 0 || ::fstat(fd_.get(), &now) != 0) return LastError();
        baseline(now);
        return {};
    }
    FileTime modified() const override {
        return {static_cast<std::int64_t>(opened_.st_mtim.tv_sec), static_cast<std::int64_t>(opened_.st_mtim.tv_nsec)};
    }
    std::uint32_t owner() const override { return static_cast<std::uint32_t>(opened_.st_uid); }
    // Asks for the lock holdLock takes, without taking it: only a holder that opened the file
    // for writing can have it, so a reader holding a read lock shows nothing.
    LockSeen lockSeen() override {
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        if (::fcntl(fd_.get(), F_OFD_GETLK, &probe) != 0) return LockSeen::Unknown;
        return probe.l_type == F_WRLCK ? LockSeen::Held : LockSeen::Free;
    }
    int fd() const { return fd_.get(); }
    std::error_code read(std::span<std::uint8_t> bytes, std::size_t& got) override {
        got = 0;
        for (;;) {
            const ssize_t n = ::read(fd_.get(), bytes.data(), bytes.size());
            if (n >= 0) {
                got = static_cast<std::size_t>(n);
                return {};
            }
            if (errno != EINTR) return LastError();
        }
    }

private:
    void baseline(const struct stat& st) {
        opened_ = st;
        timespec now{};
        settled_ = ::clock_gettime(CLOCK_REALTIME, &now) == 0 && TimesShowLaterWrites(st, now);
    }

    Descriptor fd_;
    struct stat opened_ {};
    bool settled_ = false;
    bool watched_ = false;
};

class PosixOutputFile final : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    ~PosixOutputFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    std::error_code write(std::span<const std::uint8_t> bytes, std::size_t& written) override {
        written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + written, bytes.size() - written);
            if (n < 0) {
                if (errno == EINTR) continue;
                return LastError();
            }
            written += static_cast<std::size_t>(n);
        }
        return {};
    }
    // writev, as many pieces at a time as it takes.
    std::error_code writeGathered(std::span<const std::span<const std::uint8_t>> pieces,
                                  std::size_t& written) override {
        written = 0;
        std::vector<iovec> vectors;
        std::size_t next = 0;  // the first piece not written whole
        std::size_t done = 0;  // bytes of that piece written
        for (;;) {
            while (next < pieces.size() && done == pieces[next].size()) {
                ++next;
                done = 0;
            }
            if (next == pieces.size()) return {};
            vectors.clear();
            for (std::size_t i = next; i < pieces.size() && vectors.size() < IOV_MAX; ++i) {
                const std::size_t from = i == next ? done : 0;
                if (pieces[i].size() > from) {
                    vectors.push_back({const_cast<std::uint8_t*>(pieces[i].data()) + from, pieces[i].size() - from});
                }
            }
            const ssize_t n = ::writev(fd_, vectors.data(), static_cast<int>(vectors.size()));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return LastError();
            if (n == 0) return std::make_error_code(std::errc::io_error);
            written += static_cast<std::size_t>(n);
            for (auto left = static_cast<std::size_t>(n); left > 0;) {
                const std::size_t rest = pieces[next].size() - done;
                if (left < rest) {
                    done += left;
                    break;
                }
                left -= rest;
                ++next;
                done = 0;
            }
        }
    }
    // copy_file_range: inside the kernel, and on Btrfs and XFS (reflink) by sharing extents.
    std::error_code copyFrom(InputFile& source, std::uint64_t from, std::uint64_t length,
                             std::uint64_t& copied) override {
        copied = 0;
        const auto* input = dynamic_cast<const PosixInputFile*>(&source);
        if (input == nullptr) return std::make_error_code(std::errc::operation_not_supported);
        auto in = static_cast<loff_t>(from);
        while (copied < length) {
            const ssize_t n =
                ::copy_file_range(input->fd(), &in, fd_, nullptr, static_cast<std::size_t>(length - copied), 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                // Between these two files the kernel has no such copy (another file system,
                // an old kernel): the caller writes the bytes.
                if (copied == 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                    return std::make_error_code(std::errc::operation_not_supported);
                }
                return LastError();
            }
            if (n == 0) break;  // the source is shorter now
            copied += static_cast<std::uint64_t>(n);
        }
        return {};
    }
    std::error_code writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t n =
                ::pwrite(fd_, bytes.data() + written, bytes.size() - written, static_cast<off_t>(offset + written));
            if (n < 0) {
                if (errno == EINTR) continue;
                return LastError();
            }
            written += static_cast<std::size_t>(n);
        }
        return {};
    }
    // The owner first: a change of owner clears the set-id bits, and a drawing takes none anyway.
    // Only a process that may give files away keeps the owner; where even it cannot (a file
    // system without owners) the file stays its own, which harms no drawing.
    std::error_code takeAttributes(const FileAttributes& attributes) override {
        if (::geteuid() == 0 && (::fchown(fd_, attributes.owner, attributes.group) != 0)) {}
        return ::fchmod(fd_, static_cast<mode_t>(attributes.mode & 0777)) == 0 ? std::error_code{} : LastError();
    }
    std::error_code setModified(const FileTime& time) override {
        const struct timespec times[2] = {{0, UTIME_OMIT},
                                          {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)}};
        return ::futimens(fd_, times) == 0 ? std::error_code{} : LastError();
    }
    std::error_code touch() override { return ::futimens(fd_, nullptr) == 0 ? std::error_code{} : LastError(); }
    // An open-file-description lock: it belongs to this handle alone (not to the process, as a
    // classic fcntl lock does, which any close of the file in the process would drop).
    std::error_code holdLock() override {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        return ::fcntl(fd_, F_OFD_SETLK, &lock) == 0 ? std::error_code{} : LastError();
    }
    std::error_code sync() override { return ::fsync(fd_) == 0 ? std::error_code{} : LastError(); }
    std::error_code close() override {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0 ? std::error_code{} : LastError();
    }

private:
    int fd_;
};

int OpenFolder(int at, const char* name, bool follow) {
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
}

// Whether /proc/self/fd/N reaches the folder open as N: 1 yes, 0 no, -1 not asked yet.
std::atomic<int> procReachesFolders{-1};

// Whether /proc/self/fd/N reaches the folder open as N. Asked of the first folder held; the
// answer holds for the whole process.
bool ProcReachesFolders(int fd, const fs::path& viaDescriptor) {
    std::atomic<int>& known = procReachesFolders;
    const int answer = known.load();
    if (answer >= 0) return answer == 1;
    struct stat byPath {
    }, byFd{};
    const bool works = ::stat(viaDescriptor.c_str(), &byPath) == 0 && ::fstat(fd, &byFd) == 0 &&
                       byPath.st_ino == byFd.st_ino && byPath.st_dev == byFd.st_dev;
    known.store(works ? 1 : 0);
    return works;
}

// A path as the system call takes it: relative to the folder open as dir(). A name inside a
// folder held open, as PosixFolder::path() spells it ("/proc/self/fd/N/NAME"), goes as NAME
// inside N: the kernel would resolve the path to just that, through the descriptor, and is
// spared its walk through /proc (several lookups, and the descriptor's own). Any other path
// goes as it is, from the working folder.
class AtPath {
public:
    explicit AtPath(const fs::path& path) : name_(path.c_str()) {
        constexpr std::string_view prefix = "/proc/self/fd/";
        const std::string_view text = path.native();
        if (procReachesFolders.load() != 1 || !text.starts_with(prefix)) return;
        std::size_t at = prefix.size();
        int fd = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && at - prefix.size() < 9; ++at) {
            fd = fd * 10 + (text[at] - '0');
        }
        // Digits, one separator, and a name: nothing else is a name inside a held folder.
        if (at == prefix.size() || at + 1 >= text.size() || text[at] != '/' || text[at + 1] == '/') return;
        dir_ = fd;
        name_ = path.c_str() + at + 1;
    }
    int dir() const { return dir_; }
    const char* name() const { return name_; }

private:
    int dir_ = AT_FDCWD;
    const char* name_;
};

// Why the folder `name` inside the one open as `at` did not open (errno as the open left it): a
// link says ELOOP or ENOTDIR depending on where it points; say what it is.
std::error_code WhyNotEntered(int at, const char* name) {
    std::error_code err = LastError();
    struct stat st {};
    if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        err = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    }
    return err;
}

// A folder held by its descriptor. Where /proc shows the process's descriptors, its path goes
// through the descriptor, so nothing can swap a link in above it; elsewhere it is the path as
// it was checked.
class PosixFolder final : public FolderHandle {
public:
    PosixFolder(int fd, fs::path checked) : fd_(fd) {
        fs::path viaDescriptor = fs::path("/proc/self/fd") / std::to_string(fd);
        path_ = ProcReachesFolders(fd, viaDescriptor) ? std::move(viaDescriptor) : std::move(checked);
    }
    ~PosixFolder() override { ::close(fd_); }
    const fs::path& path() const override { return path_; }
    bool ownedByThisUser() const override {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 && st.st_uid == ::geteuid();
    }
    int fd() const { return fd_; }
    // Linux shows the folder's present path as the link /proc/self/fd/N.
    fs::path whereNow() const override {
        const std::string link = "/proc/self/fd/" + std::to_string(fd_);
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return {};
        target.resize(static_cast<std::size_t>(n));
        if (target.empty() || target.front() != '/' || target.ends_with(" (deleted)")) return {};
        return target;
    }

private:
    int fd_;
    fs::path path_;
};

std::error_code OpenForWriting(const fs::path& path, int flags, std::unique_ptr<OutputFile>& out, mode_t mode = 0666) {
    const AtPath at(path);
    const int fd = ::openat(at.dir(), at.name(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, mode);
    if (fd < 0) return LastError();
    out = std::make_unique<PosixOutputFile>(fd);
    return {};
}

// Opens the folder, calls sync(fd) on it, and closes it.
std::error_code OnFolder(const fs::path& folder, int (*sync)(int)) {
    const AtPath at(folder);
    const Descriptor fd(OpenFolder(at.dir(), at.name(), true));
    if (!fd.ok()) return LastError();
    return sync(fd.get()) == 0 ? std::error_code{} : LastError();
}

// A name that is not there, or lies below a file, is no failure: it is simply missing.
bool IsNotThere(int error) { return error == ENOENT || error == ENOTDIR; }

PathKind KindOf(mode_t mode) {
    return S_ISDIR(mode) ? PathKind::Folder : S_ISREG(mode) ? PathKind::File : PathKind::Other;
}

// What a stat of the name (links followed) tells beyond its kind.
void FillFacts(PathFacts& facts, const struct stat& st, std::string_view name) {
    facts.kind = KindOf(st.st_mode);
    if (facts.kind == PathKind::File) {
        facts.size = static_cast<std::uintmax_t>(st.st_size);
        facts.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec);
        facts.readOnly = (st.st_mode & S_IWUSR) == 0;
        facts.owner = static_cast<std::uint32_t>(st.st_uid);
    }
    facts.hidden = name.starts_with(".");
}

// How a file system takes letter case, by the magic number statfs gives it.
enum class TypeCase {
    Folds,      // every folder folds
    Keeps,      // no folder folds
    PerFolder,  // a folder folds when its case-folding flag is set
    Unknown,    // FUSE and the rest: a probe tells
};
constexpr long kFuse = 0x65735546;
TypeCase CaseOfType(long type) {
    switch (type) {
        case 0x4d44:                         // FAT (vfat, msdos)
        case 0x2011BAB0:                     // exFAT
        case 0x5346544e:                     // NTFS (ntfs-3g's kernel side, the old driver)
        case 0x7366746e:                     // ntfs3
        case static_cast<long>(0xFF534D42):  // CIFS
        case static_cast<long>(0xFE534D42):  // SMB2
        case 0x517B:                         // SMB
            return TypeCase::Folds;
        case 0xEF53:                         // ext2, ext3, ext4
        case 0x01021994:                     // tmpfs
        case static_cast<long>(0xF2F52010):  // F2FS
        case 0x794c7630:                     // overlayfs (over a folder that may fold)
            return TypeCase::PerFolder;
        case 0x58465342:                     // XFS
        case static_cast<long>(0x9123683E):  // Btrfs
        case 0x2fc12fc1:                     // ZFS
        case static_cast<long>(0x858458f6):  // ramfs
            return TypeCase::Keeps;
        default: return TypeCase::Unknown;
    }
}

// The name with its ASCII letters in the other case.
std::string OtherCase(std::string_view name) {
    std::string other(name);
    for (char& c : other) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return other;
}

// A folder's entries as readdir gives them; closing the listing closes its descriptor.
using Listing = std::unique_ptr<DIR, int (*)(DIR*)>;

// The listing of the folder open as fd (which the listing takes, also when it fails).
std::error_code ListingOf(int fd, Listing& out) {
    if (fd < 0) return LastError();
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const std::error_code ec = LastError();
        ::close(fd);
        return ec;
    }
    out.reset(dir);
    return {};
}

// The entries of the folder open as fd (which the listing takes, also when it fails): the type
// from the listing where it gives one; a stat for a file's size and for a link.
std::error_code ListOpened(int fd, std::vector<FolderEntry>& entries) {
    entries.clear();
    Listing dir(nullptr, ::closedir);
    if (auto ec = ListingOf(fd, dir)) return ec;
    fd = ::dirfd(dir.get());
    std::error_code ec;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0) ec = LastError();
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        FolderEntry item{fs::path(std::string(name)), {}};
        struct stat st {};
        if (entry->d_type == DT_DIR) {
            item.facts.kind = PathKind::Folder;
            item.facts.hidden = name.starts_with(".");
        } else if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (IsNotThere(errno)) continue;  // gone meanwhile
            item.facts.error = LastError();
        } else if (S_ISLNK(st.st_mode)) {
            item.facts.link = true;
            if (::fstatat(fd, entry->d_name, &st, 0) == 0) {
                FillFacts(item.facts, st, name);
            } else if (!IsNotThere(errno)) {
                item.facts.error = LastError();
            }
        } else {
            FillFacts(item.facts, st, name);
        }
        entries.push_back(std::move(item));
    }
    return ec;
}

// Calls take(name) for each entry of the folder from its first, "." and ".." included, until
// take says false.
template <typename Take>
std::error_code ForEachName(DIR* dir, Take take) {
    ::rewinddir(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) return errno == 0 ? std::error_code{} : LastError();
        if (!take(std::string_view(entry->d_name))) return {};
    }
}

// Without writing: a name the folder holds, looked up in the other case. Not found, the folder
// keeps case; found, yet not listed in that spelling, the folder folds (listed too, the two are
// two files: it keeps case).
std::error_code ProbeByListing(int folder, bool& folds) {
    Listing dir(nullptr, ::closedir);
    if (auto ec = ListingOf(::fcntl(folder, F_DUPFD_CLOEXEC, 0), dir)) return ec;
    std::string other;
    bool found = false;
    std::error_code ec = ForEachName(dir.get(), [&](std::string_view name) {
        if (name == "." || name == "..") return true;
        other = OtherCase(name);
        found = other != name;
        return !found;
    });
    if (ec) return ec;
    if (!found) return std::make_error_code(std::errc::operation_not_supported);  // no name to try
    struct stat st {};
    if (::fstatat(folder, other.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return LastError();
        folds = false;
        return {};
    }
    bool listed = false;
    if ((ec = ForEachName(dir.get(), [&](std::string_view name) { return !(listed = name == other); }))) return ec;
    folds = !listed;
    return {};
}

std::string RandomLetters(int count) {
    thread_local std::mt19937_64 random{std::random_device{}() ^ (static_cast<std::uint64_t>(::getpid()) << 32)};
    std::string letters;
    for (int i = 0; i < count; ++i) letters += static_cast<char>('a' + random() % 26);
    return letters;
}

// Opens a regular file for reading. Without O_NONBLOCK, opening a fifo would wait for a writer
// for ever; a socket cannot be opened at all (ENXIO): no file to read either.
std::error_code OpenRegular(const fs::path& path, int flags, std::unique_ptr<InputFile>& out) {
    const AtPath at(path);
    Descriptor fd(::openat(at.dir(), at.name(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags));
    if (!fd.ok()) {
        if (errno == ENXIO) return std::make_error_code(std::errc::operation_not_supported);
        // O_NOFOLLOW says ELOOP for a link.
        if (errno == ELOOP && (flags & O_NOFOLLOW))
            return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        return LastError();
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return LastError();
    if (!S_ISREG(st.st_mode)) {
        return std::make_error_code(S_ISDIR(st.st_mode) ? std::errc::is_a_directory
                                                        : std::errc::operation_not_supported);
    }
    out = std::make_unique<PosixInputFile>(fd.release(), st);
    return {};
}

// Removes what the folder open as `fd` holds, entering sub-folders by descriptor without
// following links; closes fd. Returns the first failure.
std::error_code EmptyFolder(int fd) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const std::error_code ec = LastError();
        ::close(fd);
        return ec;
    }
    std::error_code first;
    auto keep = [&](std::error_code ec) {
        if (ec && !first) first = ec;
    };
    // The entries first, then their removal: a folder changed while it is read may skip names.
    std::vector<std::pair<std::string, bool>> entries;  // name, and whether it is a folder
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) keep(LastError());
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        entries.emplace_back(name, folder);
    }
    for (const auto& [name, folder] : entries) {
        if (folder) {
            const int inner = OpenFolder(fd, name.c_str(), false);
            if (inner < 0) {
                if (!IsNotThere(errno)) keep(LastError());
                continue;
            }
            keep(EmptyFolder(inner));
        }
        if (::unlinkat(fd, name.c_str(), folder ? AT_REMOVEDIR : 0) != 0 && !IsNotThere(errno)) keep(LastError());
    }
    ::closedir(dir);
    return first;
}

// With writing: a probe under the program's own temp name (so a kill leaves it to the next
// run's sweep) in lower case, looked for in upper case.
std::error_code ProbeByWriting(int folder, bool& folds) {
    const std::string probe = ".qm-" + RandomLetters(10) + ".tmp";
    const int made = ::openat(folder, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (made < 0) return LastError();
    ::close(made);
    struct stat seen {};
    folds = ::fstatat(folder, OtherCase(probe).c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0;
    ::unlinkat(folder, probe.c_str(), 0);
    return {};
}

class RealFs final : public FileSystem {
public:
    std::error_code openRead(const fs::path& path, std::unique_ptr<InputFile>& out) override {
        return OpenRegular(path, 0, out);
    }

    std::error_code openReadNoFollow(const fs::path& path, std::unique_ptr<InputFile>& out) override {
        return OpenRegular(path, O_NOFOLLOW, out);
    }

    std::error_code create(const fs::path& path, std::unique_ptr<OutputFile>& out) override {
        return OpenForWriting(path, O_TRUNC, out);
    }

    std::error_code createNew(const fs::path& path, std::unique_ptr<OutputFile>& out, FolderAccess access) override {
        return OpenForWriting(path, O_EXCL, out, access == FolderAccess::Private ? 0600 : 0666);
    }

    std::error_code rename(const fs::path& from, const fs::path& to) override {
        const AtPath a(from), b(to);
        return ::renameat(a.dir(), a.name(), b.dir(), b.name()) == 0 ? std::error_code{} : LastError();
    }

    std::error_code remove(const fs::path& path) override {
        const AtPath at(path);
        return ::unlinkat(at.dir(), at.name(), 0) == 0 ? std::error_code{} : LastError();
    }

    std::error_code link(const fs::path& existing, const fs::path& newName) override {
        // linkat without AT_SYMLINK_FOLLOW links a link itself, as link(2) does on Linux.
        const AtPath a(existing), b(newName);
        return ::linkat(a.dir(), a.name(), b.dir(), b.name(), 0) == 0 ? std::error_code{} : LastError();
    }

    std::error_code attributesOf(const fs::path& path, FileAttributes& out) override {
        struct stat st {};
        const AtPath at(path);
        if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) return LastError();
        if (S_ISLNK(st.st_mode)) return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        if (!S_ISREG(st.st_mode)) return std::make_error_code(std::errc::operation_not_supported);
        out.mode = static_cast<std::uint32_t>(st.st_mode & 0777);
        out.owner = static_cast<std::uint32_t>(st.st_uid);
        out.group = static_cast<std::uint32_t>(st.st_gid);
        out.readOnly = (st.st_mode & S_IWUSR) == 0;
        return {};
    }

    std::error_code createDirectory(const fs::path& path, FolderAccess access) override {
        const mode_t mode = access == FolderAccess::Private ? 0700 : 0777;
        const AtPath at(path);
        return ::mkdirat(at.dir(), at.name(), mode) == 0 ? std::error_code{} : LastError();
    }

    std::error_code removeDirectory(const fs::path& path) override {
        // rmdir on a link says ENOTDIR too: only a real, empty folder goes.
        const AtPath at(path);
        return ::unlinkat(at.dir(), at.name(), AT_REMOVEDIR) == 0 ? std::error_code{} : LastError();
    }

    std::error_code removeTreeIn(const FolderHandle& parent, const fs::path& name) override {
        const auto* held = dynamic_cast<const PosixFolder*>(&parent);
        const Descriptor at(held ? ::fcntl(held->fd(), F_DUPFD_CLOEXEC, 0)
                                 : OpenFolder(AT_FDCWD, parent.path().c_str(), true));
        if (!at.ok()) return LastError();
        const int fd = OpenFolder(at.get(), name.c_str(), false);
        if (fd < 0)
            return errno == ELOOP ? std::make_error_code(std::errc::too_many_symbolic_link_levels) : LastError();
        std::error_code first = EmptyFolder(fd);
        if (::unlinkat(at.get(), name.c_str(), AT_REMOVEDIR) != 0 && !first) first = LastError();
        return first;
    }

    std::error_code syncDirectory(const fs::path& path) override { return OnFolder(path, ::fsync); }
    bool canSyncFileSystems() override { return true; }
    std::error_code syncFileSystem(const fs::path& folder) override { return OnFolder(folder, ::syncfs); }

    // One lstat tells a name that is no link all there is to know; a link takes a stat more.
    PathFacts examine(const fs::path& path) override {
        PathFacts facts;
        struct stat st {};
        const AtPath at(path);
        if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (!IsNotThere(errno)) facts.error = LastError();
            return facts;
        }
        if (S_ISLNK(st.st_mode)) {
            facts.link = true;
            if (::fstatat(at.dir(), at.name(), &st, 0) != 0) {
                if (!IsNotThere(errno)) facts.error = LastError();
                return facts;  // a link to nothing is as good as no name
            }
        }
        FillFacts(facts, st, PathText(path.filename()));
        return facts;
    }

    std::error_code listFolder(const fs::path& folder, std::vector<FolderEntry>& entries) override {
        return ListOpened(OpenFolder(AT_FDCWD, folder.c_str(), true), entries);
    }

    // Through the held descriptor: "." opened from it is the very folder held.
    std::error_code listHeld(const FolderHandle& folder, std::vector<FolderEntry>& entries) override {
        const auto* held = dynamic_cast<const PosixFolder*>(&folder);
        if (!held) return listFolder(folder.path(), entries);
        return ListOpened(OpenFolder(held->fd(), ".", true), entries);
    }

    std::error_code identify(const fs::path& path, FileIdentity& out) override {
        struct stat st {};
        const AtPath at(path);
        if (::fstatat(at.dir(), at.name(), &st, 0) != 0) return LastError();
        out = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
        return {};
    }

    bool identityTrusted(const fs::path& folder) override {
        struct statfs st {};
        return ::statfs(folder.c_str(), &st) != 0 || st.f_type != kFuse;
    }

    std::error_code foldsCase(const fs::path& folder, bool mayWrite, LetterCase& out) override {
        out = {};
        const Descriptor fd(OpenFolder(AT_FDCWD, folder.c_str(), true));
        if (!fd.ok()) return LastError();
        struct statfs st {};
        if (::fstatfs(fd.get(), &st) != 0) return LastError();
        const TypeCase type = CaseOfType(static_cast<long>(st.f_type));
        if (type == TypeCase::Folds || type == TypeCase::Keeps) {
            out = {type == TypeCase::Folds, true};
            return {};
        }
        long flags = 0;
        if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL)) {
            out.folds = true;  // this folder (and those made in it) only
            return {};
        }
        if (type == TypeCase::PerFolder) return {};
        out.wholeDevice = true;
        return mayWrite ? ProbeByWriting(fd.get(), out.folds) : ProbeByListing(fd.get(), out.folds);
    }

    fs::path resolve(const fs::path& path) override {
        std::error_code ec;
        fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
        if (ec) full = fs::absolute(path, ec).lexically_normal();
        return !full.has_filename() && full.has_relative_path() ? full.parent_path() : full;
    }

    std::error_code tempFolder(fs::path& out) override {
        std::error_code ec;
        out = fs::temp_directory_path(ec);
        return ec;
    }

    bool writable(const fs::path& path) override {
        const AtPath at(path);
        return ::faccessat(at.dir(), at.name(), W_OK, 0) == 0;
    }

    std::error_code holdFolder(const fs::path& folder, std::unique_ptr<FolderHandle>& out) override {
        const int fd = OpenFolder(AT_FDCWD, folder.c_str(), true);
        if (fd < 0) return LastError();
        out = std::make_unique<PosixFolder>(fd, folder);
        return {};
    }

    std::error_code pinFolder(const FolderHandle& root, const fs::path& below, bool create,
                              std::unique_ptr<FolderHandle>& out) override {
        const auto* held = dynamic_cast<const PosixFolder*>(&root);
        Descriptor fd(held ? ::fcntl(held->fd(), F_DUPFD_CLOEXEC, 0) : OpenFolder(AT_FDCWD, root.path().c_str(), true));
        if (!fd.ok()) return LastError();
        fs::path checked = root.path();
        for (const fs::path& part : below) {
            const std::string name = part.string();
            if (name.empty() || name == ".") continue;
            if (name == "..") return std::make_error_code(std::errc::invalid_argument);
            int next = OpenFolder(fd.get(), name.c_str(), false);
            if (next < 0 && errno == ENOENT && create) {
                if (::mkdirat(fd.get(), name.c_str(), 0777) != 0 && errno != EEXIST) return LastError();
                next = OpenFolder(fd.get(), name.c_str(), false);
            }
            if (next < 0) return WhyNotEntered(fd.get(), name.c_str());
            fd.reset(next);
            checked /= part;
        }
        out = std::make_unique<PosixFolder>(fd.release(), checked);
        return {};
    }

    std::error_code enterFolder(const FolderHandle& parent, const fs::path& name,
                                std::unique_ptr<FolderHandle>& out) override {
        const auto* held = dynamic_cast<const PosixFolder*>(&parent);
        if (!held) return pinFolder(parent, name, false, out);
        const std::string text = name.string();
        if (text.empty() || text == "." || text == ".." || text.find('/') != std::string::npos) {
            return std::make_error_code(std::errc::invalid_argument);
        }
        const int fd = OpenFolder(held->fd(), text.c_str(), false);
        if (fd < 0) return WhyNotEntered(held->fd(), text.c_str());
        out = std::make_unique<PosixFolder>(fd, parent.path() / name);
        return {};
    }

    std::error_code lockFolder(const fs::path& folder, LockMode mode, std::unique_ptr<FolderHandle>& out) override {
        Descriptor fd(OpenFolder(AT_FDCWD, folder.c_str(), true));
        if (!fd.ok()) return LastError();
        const int operation = (mode == LockMode::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
        while (::flock(fd.get(), operation) != 0) {
            if (errno == EINTR) continue;
            return errno == EWOULDBLOCK ? std::make_error_code(std::errc::resource_unavailable_try_again) : LastError();
        }
        out = std::make_unique<PosixFolder>(fd.release(), folder);
        return {};
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static RealFs instance;
    return instance;
}

}  // namespace quellmark
