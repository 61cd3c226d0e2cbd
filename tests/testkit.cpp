// Shared test helpers.
#include "testkit.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#endif

namespace qmtest {

using namespace quellmark;

namespace {

#ifdef _WIN32
std::string LastErrorText() { return std::system_category().message(static_cast<int>(::GetLastError())); }

// Through the long-path prefix, because the standard library's calls stop at MAX_PATH here, and
// with the read-only attribute cleared, because Windows refuses to delete such a file and tests
// leave some behind on purpose. A link to a folder goes, not what it leads to.
void RemoveTreeBelow(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = folder + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            const DWORD kind = found.dwFileAttributes;
            if (!(kind & FILE_ATTRIBUTE_DIRECTORY)) {
                ::DeleteFileW(child.c_str());
            } else {
                if (!(kind & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveTreeBelow(child);
                ::RemoveDirectoryW(child.c_str());
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
}
#endif

void RemoveTree(const fs::path& given) {
#ifdef _WIN32
    const std::wstring root = L"\\\\?\\" + fs::absolute(given).lexically_normal().make_preferred().native();
    RemoveTreeBelow(root);
    ::SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(root.c_str());
#else
    std::error_code ec;
    fs::remove_all(given, ec);
#endif
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<int> number{0};
    path_ =
        fs::temp_directory_path() / ("quellmark-test-" + std::to_string(ProcessId()) + "-" + std::to_string(number++));
    RemoveTree(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir() { RemoveTree(path_); }

std::vector<std::string> TempDir::files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

#ifdef _WIN32
// Runs the line through cmd.exe, as a shell would, with the child's standard output on a pipe of
// our own. (The C library's _popen swaps this process's own standard output while it starts the
// child, and says nothing when the start fails.)
CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    std::wstring line = L"cmd.exe /c \"" + PathFromText(command).native() + L"\"";  // UTF-8, like the paths in it
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        result.out = "cannot make a pipe: " + LastErrorText();
        return result;
    }
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = writeEnd;
    start.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    const bool started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child);
    const std::string startError = started ? std::string() : LastErrorText();
    ::CloseHandle(writeEnd);
    if (!started) {
        ::CloseHandle(readEnd);
        result.out = "cannot start cmd.exe: " + startError;
        return result;
    }
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) result.out.append(buffer, n);
    ::CloseHandle(readEnd);
    DWORD code = 0;
    if (::WaitForSingleObject(child.hProcess, INFINITE) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(child.hProcess, &code)) {
        result.status = static_cast<int>(code);
    } else {
        result.out += "\n(no exit status: " + LastErrorText() + ")";
    }
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return result;
}
#else
CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
#endif

std::string ShellWord(const fs::path& path) {
#ifdef _WIN32
    return "\"" + path.string() + "\"";
#else
    return "'" + path.string() + "'";
#endif
}

namespace {

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    (void)::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
#endif
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* was = std::getenv(name_.c_str())) before_ = was;
    SetEnvironment(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironment(name_, before_); }

bool ReadJww(const Bytes& bytes, JwwDocument& doc, ImageStore& images, Failure* failure) {
    return ReadJwwBytes(doc, images, bytes, failure);
}

JwwDocument MustReadJww(const Bytes& bytes, ImageStore* images) {
    JwwDocument doc;
    ImageStore scratch(RealFileSystem());
    scratch.KeepBytes = false;
    Failure failure;
    EXPECT_TRUE(ReadJwwBytes(doc, images ? *images : scratch, bytes, &failure)) << failure.message();
    return doc;
}

JwsDocument MustReadJws(const Bytes& bytes) {
    JwsDocument doc;
    Failure failure;
    EXPECT_TRUE(ReadJwsBytes(doc, bytes, &failure)) << failure.message();
    return doc;
}

Bytes WriteJww(const JwwDocument& doc, std::int32_t version, ImageStore* images) {
    MemorySink sink;
    ImageStore none(RealFileSystem());
    {
        ByteWriter out(sink, 4096);
        WriteJwwStream(out, doc, images ? *images : none, version);
        out.flush();
    }
    return sink.data;
}

Bytes WriteJws(const JwsDocument& doc, std::int32_t version) {
    MemorySink sink;
    {
        ByteWriter out(sink, 4096);
        WriteJwsStream(out, doc, version);
        out.flush();
    }
    return sink.data;
}

Failure JwwFailure(const Bytes& bytes) {
    JwwDocument doc;
    ImageStore images(RealFileSystem());
    images.KeepBytes = false;
    Failure failure;
    EXPECT_FALSE(ReadJwwBytes(doc, images, bytes, &failure));
    return failure;
}

Failure JwsFailure(const Bytes& bytes) {
    JwsDocument doc;
    Failure failure;
    EXPECT_FALSE(ReadJwsBytes(doc, bytes, &failure));
    return failure;
}

// ---- FaultyFileSystem ----

namespace {

class CountingOutputFile final : public OutputFile {
public:
    CountingOutputFile(std::unique_ptr<OutputFile> inner, FaultyFileSystem& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    std::error_code write(std::span<const std::uint8_t> bytes, std::size_t& written) override {
        owner_.beforeOutput();
        if (owner_.failWritesAfter >= 0 &&
            owner_.bytesWritten + static_cast<std::int64_t>(bytes.size()) > owner_.failWritesAfter) {
            // Write what fits, as a full disk would, then fail.
            const auto fits = static_cast<std::size_t>(std::max<std::int64_t>(0, owner_.failWritesAfter - owner_.bytesWritten));
            (void)inner_->write(bytes.first(fits), written);
            owner_.bytesWritten += static_cast<std::int64_t>(written);
            return std::make_error_code(std::errc::no_space_on_device);
        }
        owner_.bytesWritten += static_cast<std::int64_t>(bytes.size());
        return inner_->write(bytes, written);
    }
    // A copy takes room on the disk too: a full disk fails it after what fits, as a write. A
    // write over earlier bytes (blocks the copy shared are unshared by it) fails without writing.
    std::error_code copyFrom(InputFile& source, std::uint64_t from, std::uint64_t length,
                             std::uint64_t& copied) override {
        owner_.beforeOutput();
        const bool fails = full(length);
        const std::uint64_t fits =
            fails ? static_cast<std::uint64_t>(std::max<std::int64_t>(0, owner_.failWritesAfter - owner_.bytesWritten))
                  : length;
        copied = 0;
        const std::error_code ec = fits > 0 ? inner_->copyFrom(source, from, fits, copied) : std::error_code{};
        owner_.bytesWritten += static_cast<std::int64_t>(copied);
        if (ec == std::errc::operation_not_supported) return ec;
        return fails && !ec ? std::make_error_code(std::errc::no_space_on_device) : ec;
    }
    std::error_code writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        if (full(bytes.size())) return std::make_error_code(std::errc::no_space_on_device);
        owner_.bytesWritten += static_cast<std::int64_t>(bytes.size());
        return inner_->writeAt(offset, bytes);
    }
    std::error_code takeAttributes(const FileAttributes& attributes) override {
        return inner_->takeAttributes(attributes);
    }
    std::error_code setModified(const FileTime& time) override { return inner_->setModified(time); }
    std::error_code touch() override { return inner_->touch(); }
    std::error_code holdLock() override { return inner_->holdLock(); }
    std::error_code sync() override {
        if (owner_.failSync) return std::make_error_code(std::errc::io_error);
        return inner_->sync();
    }
    std::error_code close() override { return inner_->close(); }

private:
    bool full(std::uint64_t more) const {
        return owner_.failWritesAfter >= 0 &&
               owner_.bytesWritten + static_cast<std::int64_t>(more) > owner_.failWritesAfter;
    }

    std::unique_ptr<OutputFile> inner_;
    FaultyFileSystem& owner_;
};

FileSystem& Real() { return RealFileSystem(); }

}  // namespace

const char* FsCallName(FsCall call) {
    static constexpr const char* kNames[kFsCallCount] = {
        "openRead",       "openReadNoFollow", "create",          "createNew",       "rename",       "remove",
        "link",           "attributesOf",     "createDirectory", "removeDirectory", "removeTreeIn", "syncDirectory",
        "syncFileSystem", "examine",          "listFolder",      "identify",        "foldsCase",    "tempFolder",
        "writable",       "holdFolder",       "pinFolder",       "lockFolder",      "enterFolder",  "listHeld"};
    return kNames[static_cast<int>(call)];
}

std::error_code FaultyFileSystem::wrap(std::error_code ec, std::unique_ptr<OutputFile>& out) {
    if (!ec) out = std::make_unique<CountingOutputFile>(std::move(out), *this);
    return ec;
}
bool FaultyFileSystem::crashed() { return crashAfterSteps >= 0 && steps++ >= crashAfterSteps; }

// Each call asks failCall first, then its own knobs.
#define QM_FAIL_CALL(call, path) \
    if (const std::error_code failed = failCall(call, path)) return failed

std::error_code FaultyFileSystem::openRead(const fs::path& path, std::unique_ptr<InputFile>& out) {
    QM_FAIL_CALL(FsCall::OpenRead, path);
    if (failRead(path)) return std::make_error_code(std::errc::io_error);
    return Real().openRead(path, out);
}
std::error_code FaultyFileSystem::openReadNoFollow(const fs::path& path, std::unique_ptr<InputFile>& out) {
    QM_FAIL_CALL(FsCall::OpenReadNoFollow, path);
    if (failRead(path)) return std::make_error_code(std::errc::io_error);
    return Real().openReadNoFollow(path, out);
}
std::error_code FaultyFileSystem::create(const fs::path& path, std::unique_ptr<OutputFile>& out) {
    QM_FAIL_CALL(FsCall::Create, path);
    if (crashed()) return std::make_error_code(std::errc::io_error);
    if (failCreate(path)) return std::make_error_code(std::errc::permission_denied);
    return wrap(Real().create(path, out), out);
}
std::error_code FaultyFileSystem::createNew(const fs::path& path, std::unique_ptr<OutputFile>& out,
                                            FolderAccess access) {
    QM_FAIL_CALL(FsCall::CreateNew, path);
    if (crashed()) return std::make_error_code(std::errc::io_error);
    if (failCreate(path)) return std::make_error_code(std::errc::permission_denied);
    return wrap(Real().createNew(path, out, access), out);
}
std::error_code FaultyFileSystem::rename(const fs::path& from, const fs::path& to) {
    QM_FAIL_CALL(FsCall::Rename, from);
    if (crashed()) return std::make_error_code(std::errc::io_error);
    if (failRename(from, to)) return std::make_error_code(std::errc::permission_denied);
    return Real().rename(from, to);
}
std::error_code FaultyFileSystem::remove(const fs::path& path) {
    QM_FAIL_CALL(FsCall::Remove, path);
    if (crashed()) return std::make_error_code(std::errc::io_error);
    if (failRemove(path)) return std::make_error_code(std::errc::permission_denied);
    return Real().remove(path);
}
std::error_code FaultyFileSystem::link(const fs::path& existing, const fs::path& newName) {
    QM_FAIL_CALL(FsCall::Link, existing);
    if (crashed()) return std::make_error_code(std::errc::io_error);
    if (failLink(existing, newName)) return std::make_error_code(std::errc::permission_denied);
    return Real().link(existing, newName);
}
std::error_code FaultyFileSystem::attributesOf(const fs::path& path, FileAttributes& out) {
    QM_FAIL_CALL(FsCall::AttributesOf, path);
    return Real().attributesOf(path, out);
}
std::error_code FaultyFileSystem::createDirectory(const fs::path& path, FolderAccess access) {
    QM_FAIL_CALL(FsCall::MakeFolder, path);
    return Real().createDirectory(path, access);
}
std::error_code FaultyFileSystem::removeDirectory(const fs::path& path) {
    QM_FAIL_CALL(FsCall::RemoveFolder, path);
    return Real().removeDirectory(path);
}
std::error_code FaultyFileSystem::removeTreeIn(const FolderHandle& parent, const fs::path& name) {
    QM_FAIL_CALL(FsCall::RemoveTreeIn, parent.path() / name);
    return Real().removeTreeIn(parent, name);
}
std::error_code FaultyFileSystem::syncDirectory(const fs::path& path) {
    QM_FAIL_CALL(FsCall::SyncDirectory, path);
    return Real().syncDirectory(path);
}
std::error_code FaultyFileSystem::syncFileSystem(const fs::path& folder) {
    QM_FAIL_CALL(FsCall::SyncFileSystem, folder);
    if (failSync) return std::make_error_code(std::errc::io_error);
    return Real().syncFileSystem(folder);
}
PathFacts FaultyFileSystem::examine(const fs::path& path) {
    if (const std::error_code failed = failCall(FsCall::Examine, path)) return {PathKind::Missing, false, 0, failed};
    return Real().examine(path);
}
std::error_code FaultyFileSystem::listFolder(const fs::path& folder, std::vector<FolderEntry>& entries) {
    QM_FAIL_CALL(FsCall::ListFolder, folder);
    return Real().listFolder(folder, entries);
}
std::error_code FaultyFileSystem::identify(const fs::path& path, FileIdentity& out) {
    QM_FAIL_CALL(FsCall::Identify, path);
    return Real().identify(path, out);
}
std::error_code FaultyFileSystem::foldsCase(const fs::path& folder, bool mayWrite, quellmark::LetterCase& out) {
    QM_FAIL_CALL(FsCall::FoldsCase, folder);
    if (foldsCaseAnswer) return out = {*foldsCaseAnswer, true}, std::error_code{};
    return Real().foldsCase(folder, mayWrite, out);
}
std::error_code FaultyFileSystem::tempFolder(fs::path& out) {
    QM_FAIL_CALL(FsCall::TempFolder, fs::path());
    return Real().tempFolder(out);
}
bool FaultyFileSystem::writable(const fs::path& path) {
    return !failCall(FsCall::Writable, path) && Real().writable(path);
}
std::error_code FaultyFileSystem::holdFolder(const fs::path& folder, std::unique_ptr<FolderHandle>& out) {
    QM_FAIL_CALL(FsCall::HoldFolder, folder);
    return Real().holdFolder(folder, out);
}
std::error_code FaultyFileSystem::pinFolder(const FolderHandle& root, const fs::path& below, bool create,
                                            std::unique_ptr<FolderHandle>& out) {
    QM_FAIL_CALL(FsCall::PinFolder, root.path() / below);
    return Real().pinFolder(root, below, create, out);
}
std::error_code FaultyFileSystem::lockFolder(const fs::path& folder, LockMode mode,
                                             std::unique_ptr<FolderHandle>& out) {
    QM_FAIL_CALL(FsCall::LockFolder, folder);
    return Real().lockFolder(folder, mode, out);
}

std::error_code FaultyFileSystem::enterFolder(const FolderHandle& parent, const fs::path& name,
                                              std::unique_ptr<FolderHandle>& out) {
    QM_FAIL_CALL(FsCall::EnterFolder, parent.path() / name);
    return Real().enterFolder(parent, name, out);
}
std::error_code FaultyFileSystem::listHeld(const FolderHandle& folder, std::vector<FolderEntry>& entries) {
    QM_FAIL_CALL(FsCall::ListHeld, folder.path());
    return Real().listHeld(folder, entries);
}

#undef QM_FAIL_CALL

std::error_code ForwardingFileSystem::openRead(const fs::path& path, std::unique_ptr<InputFile>& out) {
    return Real().openRead(path, out);
}
std::error_code ForwardingFileSystem::openReadNoFollow(const fs::path& path, std::unique_ptr<InputFile>& out) {
    return Real().openReadNoFollow(path, out);
}
std::error_code ForwardingFileSystem::create(const fs::path& path, std::unique_ptr<OutputFile>& out) {
    return Real().create(path, out);
}
std::error_code ForwardingFileSystem::createNew(const fs::path& path, std::unique_ptr<OutputFile>& out,
                                                FolderAccess access) {
    return Real().createNew(path, out, access);
}
std::error_code ForwardingFileSystem::rename(const fs::path& from, const fs::path& to) { return Real().rename(from, to); }
std::error_code ForwardingFileSystem::remove(const fs::path& path) { return Real().remove(path); }
std::error_code ForwardingFileSystem::link(const fs::path& existing, const fs::path& newName) {
    return Real().link(existing, newName);
}
std::error_code ForwardingFileSystem::attributesOf(const fs::path& path, FileAttributes& out) {
    return Real().attributesOf(path, out);
}
std::error_code ForwardingFileSystem::createDirectory(const fs::path& path, FolderAccess access) {
    return Real().createDirectory(path, access);
}
std::error_code ForwardingFileSystem::removeDirectory(const fs::path& path) { return Real().removeDirectory(path); }
std::error_code ForwardingFileSystem::removeTreeIn(const FolderHandle& parent, const fs::path& name) {
    return Real().removeTreeIn(parent, name);
}
std::error_code ForwardingFileSystem::syncDirectory(const fs::path& path) { return Real().syncDirectory(path); }
bool ForwardingFileSystem::canSyncFileSystems() { return Real().canSyncFileSystems(); }
std::error_code ForwardingFileSystem::syncFileSystem(const fs::path& folder) { return Real().syncFileSystem(folder); }
PathFacts ForwardingFileSystem::examine(const fs::path& path) { return Real().examine(path); }
std::error_code ForwardingFileSystem::listFolder(const fs::path& folder, std::vector<FolderEntry>& entries) {
    return Real().listFolder(folder, entries);
}
std::error_code ForwardingFileSystem::identify(const fs::path& path, FileIdentity& out) {
    return Real().identify(path, out);
}
bool ForwardingFileSystem::identityTrusted(const fs::path& folder) { return Real().identityTrusted(folder); }
std::error_code ForwardingFileSystem::foldsCase(const fs::path& folder, bool mayWrite, quellmark::LetterCase& out) {
    return Real().foldsCase(folder, mayWrite, out);
}
fs::path ForwardingFileSystem::resolve(const fs::path& path) { return Real().resolve(path); }
std::error_code ForwardingFileSystem::tempFolder(fs::path& out) { return Real().tempFolder(out); }
bool ForwardingFileSystem::writable(const fs::path& path) { return Real().writable(path); }
std::error_code ForwardingFileSystem::holdFolder(const fs::path& folder, std::unique_ptr<FolderHandle>& out) {
    return Real().holdFolder(folder, out);
}
std::error_code ForwardingFileSystem::pinFolder(const FolderHandle& root, const fs::path& below, bool create,
                                                std::unique_ptr<FolderHandle>& out) {
    return Real().pinFolder(root, below, create, out);
}
std::error_code ForwardingFileSystem::lockFolder(const fs::path& folder, LockMode mode,
                                                 std::unique_ptr<FolderHandle>& out) {
    return Real().lockFolder(folder, mode, out);
}
std::error_code ForwardingFileSystem::enterFolder(const FolderHandle& parent, const fs::path& name,
                                                  std::unique_ptr<FolderHandle>& out) {
    return Real().enterFolder(parent, name, out);
}
std::error_code ForwardingFileSystem::listHeld(const FolderHandle& folder, std::vector<FolderEntry>& entries) {
    return Real().listHeld(folder, entries);
}

HeldByAnotherRun::HeldByAnotherRun(const fs::path& folder) : marks_(RealFileSystem(), RunIdentity::ForThisProcess()) {
    EXPECT_FALSE(RealFileSystem().holdFolder(folder, folder_));
    Holder holder;
    EXPECT_EQ(marks_.take(*folder_, folder, {}, holder), RunMarks::Take::Taken);
}

void GatedFileSystem::Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
}

bool GatedFileSystem::Waiting() {
    std::lock_guard lock(mutex_);
    return waiting_ > 0;
}

std::error_code GatedFileSystem::createNew(const fs::path& path, std::unique_ptr<quellmark::OutputFile>& out,
                                           FolderAccess access) {
    if (std::this_thread::get_id() != owner_ && path.extension() == ".tmp") {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.wait(lock, [this] { return open_; });
        --waiting_;
    }
    return RealFileSystem().createNew(path, out, access);
}

Bytes JwwWithMemo(const std::string& sjisMemo, std::int32_t version) {
    JwwPlan plan;
    plan.version = version;
    plan.memo = sjisMemo;
    plan.entities = {Line{}, Dimension{}};
    return BuildJww(plan);
}

Bytes JwsDrawing(std::int32_t version) {
    JwsPlan plan;
    plan.version = version;
    plan.entities = {Dimension{}};
    return BuildJws(plan);
}

Bytes BrokenJww(const std::string& sjisMemo) {
    Bytes bytes = JwwWithMemo(sjisMemo);
    bytes.resize(bytes.size() - 10);
    return bytes;
}

Bytes JwwCutInHeader(const std::string& sjisMemo) {
    JwwPlan plan;
    plan.memo = sjisMemo;
    JwwLayout layout;
    Bytes bytes = BuildJww(plan, &layout);
    bytes.resize(layout.block[9] + 3);
    return bytes;
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

void WriteListingSamples(const fs::path& folder) {
    fs::create_directories(folder);
    WriteFile(folder / "A.JWW", JwwWithMemo("\x90\x7d\x96\xca\r\n\x83\x81\x83\x82\t"));
    WriteFile(folder / "B.jws", JwsDrawing());
    WriteText(folder / "C.TXT", "text");
    WriteFile(folder / "d.jw$", JwwWithMemo(kSitePlanSjis, 420));
    WriteFile(folder / "E.BAK", JwwWithMemo(kSitePlanSjis, 230));
    WriteText(folder / "F.BAK", std::string(4096, 'x'));  // long enough, but no drawing
    WriteFile(folder / "G.BK1", JwwWithMemo(kSitePlanSjis));
    WriteFile(folder / "H.jww", BrokenJww(kSitePlanSjis));
    WriteFile(folder / "I.jww", JwwCutInHeader(kSitePlanSjis));
    fs::create_directory(folder / "sub.jww");
    WriteFile(folder / ".hidden.jww", JwwWithMemo(kSitePlanSjis));
#ifndef _WIN32
    ::mkfifo((folder / "pipe.jww").c_str(), 0600);
    fs::create_symlink(folder / "nothing", folder / "dangling.jww");
#endif
}

}  // namespace qmtest
