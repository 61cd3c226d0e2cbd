// The real file system behind the FileSystem interface, on POSIX calls where they exist and the
// C library elsewhere.
#include "fs.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
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

std::error_code LastError() { return {errno, std::generic_category()}; }

#ifndef _WIN32

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

class StdioOutputFile final : public OutputFile {
public:
    explicit StdioOutputFile(std::FILE* f) : f_(f) {}
    ~StdioOutputFile() override {
        if (f_) std::fclose(f_);
    }
    std::error_code write(std::span<const std::uint8_t> bytes, std::size_t& written) override {
        written = std::fwrite(bytes.data(), 1, bytes.size(), f_);
        if (written != bytes.size()) return LastError();
        return {};
    }
    std::error_code sync() override {
        if (std::fflush(f_) != 0 || _commit(_fileno(f_)) != 0) return LastError();
        return {};
    }
    std::error_code close() override {
        std::FILE* f = f_;
        f_ = nullptr;
        return std::fclose(f) == 0 ? std::error_code{} : LastError();
    }

private:
    std::FILE* f_;
};

std::error_code OpenForWriting(const fs::path& path, const wchar_t* mode,
                               std::unique_ptr<OutputFile>& out) {
    std::FILE* f = _wfopen(path.c_str(), mode);
    if (!f) return LastError();
    out = std::make_unique<StdioOutputFile>(f);
    return {};
}

#endif

#ifndef _WIN32

// A folder held by its descriptor. Where /proc shows the process's descriptors, its path goes
// through the descriptor, so nothing can swap a link in above it; elsewhere it is the path as
// it was checked.
class PosixFolder final : public FolderHandle {
public:
    PosixFolder(int fd, fs::path checked) : fd_(fd) {
        const fs::path viaDescriptor = fs::path("/proc/self/fd") / std::to_string(fd);
        struct stat byPath {}, byFd {};
        const bool procWorks = ::stat(viaDescriptor.c_str(), &byPath) == 0 && ::fstat(fd, &byFd) == 0 &&
                               byPath.st_ino == byFd.st_ino && byPath.st_dev == byFd.st_dev;
        path_ = procWorks ? viaDescriptor : std::move(checked);
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

#endif

class RealFs final : public FileSystem {
public:
    std::error_code readFile(const fs::path& path, FileBytes& out, std::size_t limit) override {
        out.clear();
        std::error_code ec;
        if (fs::is_directory(path, ec)) return std::make_error_code(std::errc::is_a_directory);
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
        std::FILE* f = _wfopen(path.c_str(), L"rb");
        if (!f) return LastError();
        std::uint64_t size = fs::file_size(path, ec);
        if (ec) {
            std::fclose(f);
            return ec;
        }
        out.resize(std::min<std::uint64_t>(size, limit));
        std::size_t got = std::fread(out.data(), 1, out.size(), f);
        bool failed = std::ferror(f) != 0;
        std::fclose(f);
        if (failed) return std::make_error_code(std::errc::io_error);
        out.resize(got);
        return {};
#endif
    }

    std::error_code create(const fs::path& path, std::unique_ptr<OutputFile>& out) override {
#ifndef _WIN32
        return OpenForWriting(path, O_TRUNC, out);
#else
        return OpenForWriting(path, L"wb", out);
#endif
    }

    std::error_code createNew(const fs::path& path, std::unique_ptr<OutputFile>& out) override {
#ifndef _WIN32
        return OpenForWriting(path, O_EXCL, out);
#else
        return OpenForWriting(path, L"wbx", out);
#endif
    }

    std::error_code rename(const fs::path& from, const fs::path& to) override {
        std::error_code ec;
        fs::rename(from, to, ec);
        return ec;
    }

    std::error_code remove(const fs::path& path) override {
        std::error_code ec;
        if (!fs::remove(path, ec) && !ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return ec;
    }

    std::error_code link(const fs::path& existing, const fs::path& newName) override {
        std::error_code ec;
        fs::create_hard_link(existing, newName, ec);
        return ec;
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
        std::error_code ec;
        fs::permissions(to, fs::status(from, ec).permissions(), ec);
        return ec;
#endif
    }

    std::error_code createDirectory(const fs::path& path) override {
        std::error_code ec;
        if (!fs::create_directory(path, ec) && !ec) ec = std::make_error_code(std::errc::file_exists);
        return ec;
    }

    std::error_code removeDirectory(const fs::path& path) override {
        std::error_code ec;
        if (!fs::is_directory(path, ec)) return std::make_error_code(std::errc::not_a_directory);
        fs::remove(path, ec);  // only an empty folder goes
        return ec;
    }

    std::error_code syncDirectory(const fs::path& path) override {
#ifndef _WIN32
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return LastError();
        std::error_code ec;
        if (::fsync(fd) != 0) ec = LastError();
        ::close(fd);
        return ec;
#else
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
        (void)create;
        out.reset();
        return std::make_error_code(std::errc::function_not_supported);
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
        (void)folder;
        (void)wait;
        out.reset();
        return std::make_error_code(std::errc::function_not_supported);
#endif
    }

    std::error_code listNames(const fs::path& folder, std::vector<std::string>& names) override {
        names.clear();
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            names.push_back(it->path().filename().string());
        }
        return ec;
    }

    bool isFile(const fs::path& path) override {
        std::error_code ec;
        return fs::is_regular_file(path, ec);
    }

    bool isDirectory(const fs::path& path) override {
        std::error_code ec;
        return fs::is_directory(path, ec);
    }
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
