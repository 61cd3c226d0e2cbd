// Shared test helpers: reading built bytes into documents, writing documents to bytes, a fresh
// temporary folder per test, file system doubles that fail or hold calls on demand, and small
// drawings for listings and batches.
#pragma once

#include "builder.h"
#include "drawing/bytes.h"
#include "drawing/error.h"
#include "drawing/images.h"
#include "platform/files.h"
#include "platform/system.h"
#include "jws/jwsunit.h"
#include "jww/jwwunit.h"
#include "convert/run_marks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <optional>
#include <mutex>
#include <string>
#include <thread>

namespace qmtest {

namespace fs = std::filesystem;

// A folder of its own for one test, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    // The names of the files in the folder, sorted.
    std::vector<std::string> files() const;

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const Bytes& bytes);
Bytes ReadFile(const fs::path& path);

// Runs a shell command; its standard output (and whatever the command redirects into it) and
// its exit status.
struct CommandResult {
    int status = -1;
    std::string out;
};
CommandResult RunCommand(const std::string& command);
// A path as one word of such a command, and the redirection that throws standard error away.
std::string ShellWord(const fs::path& path);
#ifdef _WIN32
inline constexpr const char* kDropStderr = " 2>NUL";
#else
inline constexpr const char* kDropStderr = " 2>/dev/null";
#endif

// Sets an environment variable for as long as it lives, and puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> before_;
};

// Reads JWW bytes; on failure the failure is returned through `failure` and the result is false.
bool ReadJww(const Bytes& bytes, quellmark::JwwDocument& doc, quellmark::ImageStore& images,
             quellmark::Failure* failure = nullptr);
// Reads bytes that must read; fails the test otherwise.
quellmark::JwwDocument MustReadJww(const Bytes& bytes, quellmark::ImageStore* images = nullptr);
quellmark::JwsDocument MustReadJws(const Bytes& bytes);

// Writes a document in memory.
Bytes WriteJww(const quellmark::JwwDocument& doc, std::int32_t version,
               quellmark::ImageStore* images = nullptr);
Bytes WriteJws(const quellmark::JwsDocument& doc, std::int32_t version);

// The failure of reading bytes that must not read.
quellmark::Failure JwwFailure(const Bytes& bytes);
quellmark::Failure JwsFailure(const Bytes& bytes);

// Every call of the file system interface, so a test can fail any one of them.
enum class FsCall {
    OpenRead,
    OpenReadNoFollow,
    Create,
    CreateNew,
    Rename,
    Remove,
    Link,
    AttributesOf,
    MakeFolder,
    RemoveFolder,
    RemoveTreeIn,
    SyncDirectory,
    SyncFileSystem,
    Examine,
    ListFolder,
    Identify,
    FoldsCase,
    TempFolder,
    Writable,
    HoldFolder,
    PinFolder,
    LockFolder,
    EnterFolder,
    ListHeld,
};
inline constexpr int kFsCallCount = static_cast<int>(FsCall::ListHeld) + 1;
const char* FsCallName(FsCall call);

// Passes every call to the real file system; doubles override what they change.
class ForwardingFileSystem : public quellmark::FileSystem {
public:
    std::error_code openRead(const fs::path& path, std::unique_ptr<quellmark::InputFile>& out) override;
    std::error_code openReadNoFollow(const fs::path& path, std::unique_ptr<quellmark::InputFile>& out) override;
    std::error_code create(const fs::path& path, std::unique_ptr<quellmark::OutputFile>& out) override;
    std::error_code createNew(const fs::path& path, std::unique_ptr<quellmark::OutputFile>& out,
                              quellmark::FolderAccess access) override;
    std::error_code rename(const fs::path& from, const fs::path& to) override;
    std::error_code remove(const fs::path& path) override;
    std::error_code link(const fs::path& existing, const fs::path& newName) override;
    std::error_code attributesOf(const fs::path& path, quellmark::FileAttributes& out) override;
    std::error_code createDirectory(const fs::path& path, quellmark::FolderAccess access) override;
    std::error_code removeDirectory(const fs::path& path) override;
    std::error_code removeTreeIn(const quellmark::FolderHandle& parent, const fs::path& name) override;
    std::error_code syncDirectory(const fs::path& path) override;
    bool canSyncFileSystems() override;
    std::error_code syncFileSystem(const fs::path& folder) override;
    quellmark::PathFacts examine(const fs::path& path) override;
    std::error_code listFolder(const fs::path& folder, std::vector<quellmark::FolderEntry>& entries) override;
    std::error_code identify(const fs::path& path, quellmark::FileIdentity& out) override;
    bool identityTrusted(const fs::path& folder) override;
    std::error_code foldsCase(const fs::path& folder, bool mayWrite, quellmark::LetterCase& out) override;
    fs::path resolve(const fs::path& path) override;
    std::error_code tempFolder(fs::path& out) override;
    bool writable(const fs::path& path) override;
    std::error_code holdFolder(const fs::path& folder, std::unique_ptr<quellmark::FolderHandle>& out) override;
    std::error_code pinFolder(const quellmark::FolderHandle& root, const fs::path& below, bool create,
                              std::unique_ptr<quellmark::FolderHandle>& out) override;
    std::error_code lockFolder(const fs::path& folder, quellmark::LockMode mode,
                               std::unique_ptr<quellmark::FolderHandle>& out) override;
    std::error_code enterFolder(const quellmark::FolderHandle& parent, const fs::path& name,
                                std::unique_ptr<quellmark::FolderHandle>& out) override;
    std::error_code listHeld(const quellmark::FolderHandle& folder,
                             std::vector<quellmark::FolderEntry>& entries) override;
};

// A file system that passes everything to the real one, except what a test tells it to fail.
class FaultyFileSystem final : public ForwardingFileSystem {
public:
    // Any call: the error to fail it with, or none to let it through. Asked before the knobs below.
    std::function<std::error_code(FsCall, const fs::path&)> failCall = [](FsCall, const fs::path&) {
        return std::error_code{};
    };
    // Fails the write that would take the total of bytes written past this many (-1: never).
    std::int64_t failWritesAfter = -1;
    std::function<bool(const fs::path&)> failCreate = [](const fs::path&) { return false; };
    std::function<bool(const fs::path&, const fs::path&)> failRename =
        [](const fs::path&, const fs::path&) { return false; };
    std::function<bool(const fs::path&)> failRemove = [](const fs::path&) { return false; };
    std::function<bool(const fs::path&)> failRead = [](const fs::path&) { return false; };
    std::function<bool(const fs::path&, const fs::path&)> failLink = [](const fs::path&, const fs::path&) {
        return false;
    };
    bool failSync = false;  // both the sync of a file and that of a whole file system
    // Called before each write or copy into a file made through this file system: a source can
    // be changed there while its conversion is written.
    std::function<void()> beforeOutput = [] {};
    // What foldsCase answers, as a FAT or exFAT drive or Windows would (unset: the real answer).
    std::optional<bool> foldsCaseAnswer;
    // A crash: after this many steps that change names (create, link, rename, remove), the file
    // system stops obeying; every such call fails and does nothing (-1: never).
    int crashAfterSteps = -1;
    int steps = 0;
    std::int64_t bytesWritten = 0;

    std::error_code openRead(const fs::path& path, std::unique_ptr<quellmark::InputFile>& out) override;
    std::error_code openReadNoFollow(const fs::path& path, std::unique_ptr<quellmark::InputFile>& out) override;
    std::error_code create(const fs::path& path, std::unique_ptr<quellmark::OutputFile>& out) override;
    std::error_code createNew(const fs::path& path, std::unique_ptr<quellmark::OutputFile>& out,
                              quellmark::FolderAccess access) override;
    std::error_code rename(const fs::path& from, const fs::path& to) override;
    std::error_code remove(const fs::path& path) override;
    std::error_code link(const fs::path& existing, const fs::path& newName) override;
    std::error_code attributesOf(const fs::path& path, quellmark::FileAttributes& out) override;
    std::error_code createDirectory(const fs::path& path, quellmark::FolderAccess access) override;
    std::error_code removeDirectory(const fs::path& path) override;
    std::error_code removeTreeIn(const quellmark::FolderHandle& parent, const fs::path& name) override;
    std::error_code syncDirectory(const fs::path& path) override;
    std::error_code syncFileSystem(const fs::path& folder) override;
    quellmark::PathFacts examine(const fs::path& path) override;
    std::error_code listFolder(const fs::path& folder, std::vector<quellmark::FolderEntry>& entries) override;
    std::error_code identify(const fs::path& path, quellmark::FileIdentity& out) override;
    std::error_code foldsCase(const fs::path& folder, bool mayWrite, quellmark::LetterCase& out) override;
    std::error_code tempFolder(fs::path& out) override;
    bool writable(const fs::path& path) override;
    std::error_code holdFolder(const fs::path& folder, std::unique_ptr<quellmark::FolderHandle>& out) override;
    std::error_code pinFolder(const quellmark::FolderHandle& root, const fs::path& below, bool create,
                              std::unique_ptr<quellmark::FolderHandle>& out) override;
    std::error_code lockFolder(const fs::path& folder, quellmark::LockMode mode,
                               std::unique_ptr<quellmark::FolderHandle>& out) override;
    std::error_code enterFolder(const quellmark::FolderHandle& parent, const fs::path& name,
                                std::unique_ptr<quellmark::FolderHandle>& out) override;
    std::error_code listHeld(const quellmark::FolderHandle& folder,
                             std::vector<quellmark::FolderEntry>& entries) override;

private:
    bool crashed();
    std::error_code wrap(std::error_code ec, std::unique_ptr<quellmark::OutputFile>& out);
};

// The real file system, except that creating a temp file from any thread but the test's own (the
// temp file of a converted drawing, once the run has taken its folder) waits until Open() is
// called.
class GatedFileSystem : public ForwardingFileSystem {
public:
    void Open();
    // Whether a worker thread is waiting at the gate.
    bool Waiting();

    std::error_code createNew(const fs::path& path, std::unique_ptr<quellmark::OutputFile>& out,
                              quellmark::FolderAccess access) override;

private:
    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
};

// The real file system, except that entering the folder named `name` from the one held above it
// (as the folder search enters each folder) waits until Open() is called.
class FolderGate final : public ForwardingFileSystem {
public:
    explicit FolderGate(std::string name) : name_(std::move(name)) {}
    void Open() { open_ = true; }
    // Whether the search is waiting at the gate.
    bool Waiting() const { return waiting_; }

    std::error_code enterFolder(const quellmark::FolderHandle& parent, const fs::path& name,
                                std::unique_ptr<quellmark::FolderHandle>& out) override {
        while (name == name_ && !open_) {
            waiting_ = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return ForwardingFileSystem::enterFolder(parent, name, out);
    }

private:
    const std::string name_;
    std::atomic<bool> open_{false};
    std::atomic<bool> waiting_{false};
};

// Another run that holds a folder, as a live run does (its mark in the folder says it holds
// it), until it goes. The folder must be there.
class HeldByAnotherRun {
public:
    explicit HeldByAnotherRun(const fs::path& folder);

private:
    std::unique_ptr<quellmark::FolderHandle> folder_;
    quellmark::RunMarks marks_;
};

// Drawings and files for listings and batches.
Bytes JwwWithMemo(const std::string& sjisMemo, std::int32_t version = 600);
Bytes JwsDrawing(std::int32_t version = 420);
// A JWW drawing whose entity list is cut short: its header (and memo) reads, the drawing not.
Bytes BrokenJww(const std::string& sjisMemo);
// A JWW drawing cut inside its layer names: even its memo cannot be read.
Bytes JwwCutInHeader(const std::string& sjisMemo);
void WriteText(const fs::path& path, const std::string& text);

// A folder to list: nine files of every kind a listing tells apart (A.JWW with a memo of 図面,
// a line break, メモ and a tab; B.jws; C.TXT; d.jw$, E.BAK and G.BK1 with the memo 配置図 and
// F.BAK that is no drawing; H.jww cut after its header, I.jww cut inside it), and entries a
// listing never shows: a folder, a hidden drawing, and on POSIX a fifo and a link to nothing.
void WriteListingSamples(const fs::path& folder);
inline const std::string kSitePlanSjis = "\x94\x7A\x92\x75\x90\x7D";  // 配置図

}  // namespace qmtest
