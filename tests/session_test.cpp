// The batch session: the wait for another run and its stop, runs into nested folders, the sweep
// of killed runs' folders, names that fold to one, backups of one batch, a destination swapped
// for a link, identity that cannot be trusted, and every platform call failing in turn.
#include "testkit.h"

#include "convert/replace.h"
#include "convert/session.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace quellmark;
using namespace qmtest;

namespace {

Bytes Drawing(int dimensions = 1, std::int32_t version = 600) {
    JwwPlan plan;
    plan.version = version;
    plan.entities = {Line{}};
    for (int i = 0; i < dimensions; ++i) plan.entities.push_back(Dimension{});
    return BuildJww(plan);
}

// Records each result by its job's index and the folders waited for.
class Recorder : public SessionEvents {
public:
    void FileFinished(std::size_t index, const FileResult& result) override {
        std::lock_guard lock(mutex_);
        if (results.size() <= index) results.resize(index + 1);
        results[index] = result;
    }
    void Waiting(const fs::path& folder, const Holder&) override {
        std::lock_guard lock(mutex_);
        waited.push_back(folder);
    }
    bool HasWaited() {
        std::lock_guard lock(mutex_);
        return !waited.empty();
    }
    std::vector<FileResult> results;
    std::vector<fs::path> waited;

private:
    std::mutex mutex_;
};

// Holds the first drawing's start until let go, so a test can act while a run holds its folders.
class Gate final : public Recorder {
public:
    void FileStarted(std::size_t, const BatchJob&) override {
        std::unique_lock lock(mutex_);
        started_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
    }
    void WaitForStart() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return started_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool started_ = false;
    bool open_ = false;
};

// Whether the condition comes true within ten seconds.
bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::map<std::string, Bytes> Files(const fs::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) files[PathText(e.path().lexically_relative(folder))] = ReadFile(e.path());
    }
    return files;
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(src());
        fs::create_directories(dest());
        fs::create_directories(temp());
        for (const char* name : {"a.jww", "b.jww", "c.jww"}) WriteFile(src() / name, Drawing());
    }
    fs::path src() const { return dir / "src"; }
    fs::path dest() const { return dir / "dest"; }
    fs::path temp() const { return dir / "temp"; }
    SessionRequest Request(const fs::path& into) const {
        SessionRequest request;
        request.dest = into;
        request.sourceFolders = {{src(), false}};
        request.workers = 1;
        request.settings.sync = false;
        request.tempBase = temp();
        return request;
    }
    JobList Jobs(const fs::path& into, std::initializer_list<const char*> names = {"a.jww", "b.jww", "c.jww"}) const {
        JobList jobs;
        for (const char* name : names) jobs.add(src() / name, into / name);
        return jobs;
    }

    TempDir dir;
};

}  // namespace

TEST_F(Session, AnotherRunsMarkMakesItWaitAndAStopEndsTheWait) {
    auto other = std::make_unique<HeldByAnotherRun>(dest());
    SessionRequest request = Request(dest());
    request.wait = false;
    Recorder events;
    const SessionResult busy = RunSession(RealFileSystem(), request, Jobs(dest()), &events);
    EXPECT_EQ(busy.setup.kind, SetupKind::Busy);
    // It says who holds it.
    EXPECT_NE(busy.setup.message().find("(process " + std::to_string(ProcessId()) + " of "), std::string::npos)
        << busy.setup.message();

    std::atomic<bool> stop{false};
    request.wait = true;
    request.settings.stop = &stop;
    SessionResult result;
    std::thread run([&] { result = RunSession(RealFileSystem(), request, Jobs(dest()), &events); });
    for (int i = 0; i < 500 && !events.HasWaited(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    run.join();
    EXPECT_EQ(result.setup.kind, SetupKind::Stopped);
    ASSERT_EQ(events.waited.size(), 1u);
    EXPECT_EQ(Files(dest()).size(), 1u);  // the other run's mark alone

    other.reset();
    stop = false;
    result = RunSession(RealFileSystem(), request, Jobs(dest()), &events);
    EXPECT_FALSE(result.setup) << result.setup.message();
    EXPECT_EQ(result.summary.converted, 3);
}

TEST_F(Session, RunsIntoNestedFoldersNeverWriteOneFolderAtOnce) {
    // A run into DEST that mirrors a tree writes into DEST/c1 too: it and a run into DEST/c1 meet
    // there, whichever comes first.
    const fs::path inner = dest() / "c1";
    fs::create_directories(inner);
    for (const bool outerFirst : {true, false}) {
        fs::remove_all(inner);  // what a first round converted would be up to date
        fs::create_directories(inner);
        GatedFileSystem gated;
        SessionResult first;
        const fs::path firstDest = outerFirst ? dest() : inner;
        const fs::path secondDest = outerFirst ? inner : dest();
        std::thread run([&] { first = RunSession(gated, Request(firstDest), Jobs(inner), nullptr); });
        if (!WaitFor([&] { return gated.Waiting(); })) {  // it holds c1
            gated.Open();
            run.join();
            FAIL() << "the first run never wrote into c1";
        }
        SessionRequest request = Request(secondDest);
        request.wait = false;
        Recorder events;
        const SessionResult second = RunSession(RealFileSystem(), request, Jobs(inner), &events);
        if (outerFirst) {
            EXPECT_EQ(second.setup.kind, SetupKind::Busy);
        } else {
            ASSERT_FALSE(second.setup) << second.setup.message();
            EXPECT_EQ(second.summary.failed, 3);
            EXPECT_NE(events.results[0].failure.message().find("another conversion is writing into"), std::string::npos)
                << events.results[0].failure.message();
        }
        gated.Open();
        run.join();
        EXPECT_EQ(first.summary.converted, 3) << outerFirst;
    }
    // Side by side they run at once.
    fs::remove_all(inner);
    fs::create_directories(inner);
    fs::create_directories(dest() / "c2");
    GatedFileSystem gated;
    std::thread run([&] { RunSession(gated, Request(inner), Jobs(inner), nullptr); });
    if (!WaitFor([&] { return gated.Waiting(); })) {
        gated.Open();
        run.join();
        FAIL() << "the first run never wrote into c1";
    }
    Recorder events;
    const SessionResult side = RunSession(RealFileSystem(), Request(dest() / "c2"), Jobs(dest() / "c2"), &events);
    EXPECT_FALSE(side.setup);
    EXPECT_EQ(side.summary.converted, 3);
    gated.Open();
    run.join();
}

TEST_F(Session, TheSweepTakesWhatKilledRunsLeftAndNothingALiveRunHolds) {
    const fs::path killed = temp() / "quellmark-run-99999-1";
    const fs::path live = temp() / "quellmark-run-99999-2";
    for (const fs::path& folder : {killed, live}) {
        fs::create_directories(folder / "job-0");
        WriteFile(folder / "job-0" / "qm1-1.img", {1, 2, 3});
    }
    // A link inside goes as a link; what it leads to stays.
    const fs::path kept = dir / "kept";
    fs::create_directories(kept);
    WriteFile(kept / "precious", {'p'});
    std::error_code noLinks;  // Wine has no symbolic links to folders
    fs::create_directory_symlink(kept, killed / "job-1", noLinks);
#ifndef _WIN32
    // Another user's folder of that name is never touched, whatever it holds.
    const fs::path planted = temp() / "quellmark-run-99999-3";
    fs::create_directories(planted);
    fs::create_directory_symlink(kept, planted / "job-0");
    if (::geteuid() == 0) {
        ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);
    }
#endif
    WriteFile(temp() / "quellmark-run-notes", {'x'});        // no folder of a run
    WriteFile(dest() / ".qm-0123456789.tmp", {'y'});         // an older version's killed run's temp file in DEST
    WriteFile(dest() / ".qm-deadrun000-abcdef.tmp", {'z'});  // a killed run's, with no mark left
    std::unique_ptr<FolderHandle> liveLock;
    ASSERT_FALSE(RealFileSystem().lockFolder(live, LockMode::Exclusive, liveLock));
    Recorder events;
    const SessionResult result = RunSession(RealFileSystem(), Request(dest()), Jobs(dest()), &events);
    ASSERT_FALSE(result.setup) << result.setup.message();
    EXPECT_EQ(result.summary.leftoversRemoved, 3);
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_FALSE(fs::exists(dest() / ".qm-deadrun000-abcdef.tmp"));
    EXPECT_TRUE(fs::exists(live / "job-0" / "qm1-1.img"));
    EXPECT_TRUE(fs::exists(kept / "precious"));
    EXPECT_TRUE(fs::exists(temp() / "quellmark-run-notes"));
    EXPECT_FALSE(fs::exists(dest() / ".qm-0123456789.tmp"));
    // The run's own folder went with it.
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(temp())) left.push_back(PathText(e.path().filename()));
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {"quellmark-run-99999-2", "quellmark-run-notes"};
#ifndef _WIN32
    if (::geteuid() == 0) expected.insert(expected.begin() + 1, "quellmark-run-99999-3");
#endif
    EXPECT_EQ(left, expected);
}

TEST_F(Session, ALockABystanderTakesOnAFolderStallsNoRun) {
#ifdef _WIN32
    GTEST_SKIP() << "flock is POSIX's";
#else
    // Anyone who can open a folder can flock it; a run asks only the marks of those who can write it.
    std::vector<int> held;
    for (const fs::path& folder : {fs::path("/"), dir.path(), dest()}) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        held.push_back(fd);
    }
    SessionRequest request = Request(dest());
    request.wait = false;
    const SessionResult result = RunSession(RealFileSystem(), request, Jobs(dest()), nullptr);
    EXPECT_FALSE(result.setup) << result.setup.message();
    EXPECT_EQ(result.summary.converted, 3);
    for (const int fd : held) ::close(fd);
#endif
}

TEST_F(Session, TheNewDrawingTakesModeOwnerAndTimeThroughItsOwnHandle) {
#ifdef _WIN32
    GTEST_SKIP() << "owners and modes are POSIX's";
#else
    // Another user who owns DEST swaps each temp file for a link to a file of the running
    // user's while it waits for its rename: nothing is done by the name.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give the old drawing another owner";
    const fs::path victim = dir / "victim";
    WriteFile(victim, {'m', 'i', 'n', 'e'});
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    struct stat before {};
    ASSERT_EQ(::stat(victim.c_str(), &before), 0);
    WriteFile(dest() / "a.jww", {'o', 'l', 'd'});
    ASSERT_EQ(::chown((dest() / "a.jww").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod((dest() / "a.jww").c_str(), 0666), 0);
    struct Swapping final : ForwardingFileSystem {
        fs::path victim;
        std::error_code rename(const fs::path& from, const fs::path& to) override {
            if (from.extension() == ".tmp" && to.filename() == "a.jww") {
                fs::remove(from);
                fs::create_symlink(victim, from);
            }
            return ForwardingFileSystem::rename(from, to);
        }
    } files;
    files.victim = victim;
    SessionRequest request = Request(dest());
    request.settings.keepTimes = true;
    (void)RunSession(files, request, Jobs(dest(), {"a.jww"}), nullptr);
    struct stat after {};
    ASSERT_EQ(::stat(victim.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
#endif
}

TEST_F(Session, ARunIntoABindMountOfAFolderMeetsARunIntoTheFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "bind mounts are Linux's";
#else
    // A run into DEST that has written into DEST/c1, and a run into a bind mount of DEST/c1.
    const fs::path mounted = dir / "mounted";
    fs::create_directories(mounted);
    fs::create_directories(dest() / "c1");
    if (::mount((dest() / "c1").c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
    }
    {
        HeldByAnotherRun other(dest() / "c1");
        SessionRequest request = Request(mounted);
        request.wait = false;
        EXPECT_EQ(RunSession(RealFileSystem(), request, Jobs(mounted), nullptr).setup.kind, SetupKind::Busy);
    }
    ::umount(mounted.c_str());
#endif
}

TEST_F(Session, NamesThatDifferInCaseClashWhereTheDestinationFoldsThem) {
    // Letters that exFAT and NTFS fold, beyond ASCII: Vietnamese, Roman numerals (in Shift-JIS
    // too), Armenian, Greek with an accent, circled letters, a digraph.
    const char* pairs[][2] = {{"a", "A"}, {"ạ", "Ạ"}, {"ⅰ", "Ⅰ"}, {"ա", "Ա"}, {"ά", "Ά"}, {"ⓐ", "Ⓐ"}, {"ǆ", "Ǆ"}};
    fs::create_directories(dir / "other");
    JobList jobs;
    for (const auto& [lower, upper] : pairs) {
        const fs::path first = PathFromText(std::string(lower) + ".jww");
        const fs::path second = PathFromText(std::string(upper) + ".jww");
        WriteFile(src() / first, Drawing());
        WriteFile(dir / "other" / second, Drawing(2));
        jobs.add(src() / first, dest() / first);
        jobs.add(dir / "other" / second, dest() / second);
    }
    const auto count = static_cast<std::int64_t>(std::size(pairs));
    for (const bool folds : {true, false}) {
        fs::remove_all(dest());
        fs::create_directories(dest());
        FaultyFileSystem files;
        files.foldsCaseAnswer = folds;
        Recorder events;
        const SessionResult result = RunSession(files, Request(dest()), jobs, &events);
        ASSERT_FALSE(result.setup) << result.setup.message();
        if (folds) {
            EXPECT_EQ(result.summary.converted, count);
            for (std::size_t i = 1; i < jobs.size(); i += 2) {
                EXPECT_EQ(events.results[i].failure.kind, ProblemKind::Clash) << PathText(jobs.dest(i));
            }
        } else {
            EXPECT_EQ(result.summary.converted, 2 * count);  // two files where names keep their case
        }
    }
}

TEST_F(Session, EachFolderADrawingGoesIntoIsAskedWhetherItFoldsCase) {
#ifdef _WIN32
    GTEST_SKIP() << "every folder folds letter case on Windows";
#endif
    // As a FAT stick mounted at DEST/stick: only that folder folds, and folders made in it.
    class FoldingStick final : public ForwardingFileSystem {
    public:
        explicit FoldingStick(fs::path stick) : stick_(std::move(stick)) {}
        std::error_code foldsCase(const fs::path& folder, bool, LetterCase& out) override {
            out = {folder == stick_, false};
            return {};
        }

    private:
        fs::path stick_;
    } files(dest() / "stick");
    fs::create_directories(dest() / "stick");
    JobList jobs;
    for (const char* name :
         {"x.jww", "X.JWW", "stick/plan.jww", "stick/PLAN.JWW", "stick/new/a.jww", "stick/NEW/A.JWW"}) {
        fs::create_directories((src() / name).parent_path());
        WriteFile(src() / name, Drawing());
        jobs.add(src() / name, dest() / name);
    }
    SessionRequest request = Request(dest());
    request.createFolders = true;
    Recorder events;
    const SessionResult result = RunSession(files, request, jobs, &events);
    ASSERT_FALSE(result.setup) << result.setup.message();
    EXPECT_EQ(result.summary.converted, 4);
    EXPECT_EQ(events.results[3].failure.kind, ProblemKind::Clash) << events.results[3].failure.message();
    EXPECT_EQ(events.results[5].failure.kind, ProblemKind::Clash) << events.results[5].failure.message();
}

TEST_F(Session, ABackupThisBatchMadeIsNeverReplacedByALaterDrawingOfIt) {
    JwsPlan plan;
    plan.entities = {Dimension{}};
    WriteFile(src() / "a.jws", BuildJws(plan));
    WriteFile(dest() / "a.jww", {'o', 'l', 'd', 'w'});
    WriteFile(dest() / "a.jws", {'o', 'l', 'd', 's'});
    Recorder events;
    const SessionResult result =
        RunSession(RealFileSystem(), Request(dest()), Jobs(dest(), {"a.jww", "a.jws"}), &events);
    EXPECT_EQ(result.summary.converted, 1);
    EXPECT_EQ(events.results[1].failure.kind, ProblemKind::BackupClash);
    EXPECT_NE(events.results[1].failure.message().find("a.BAK already keeps the old file"), std::string::npos)
        << events.results[1].failure.message();
    EXPECT_EQ(ReadFile(dest() / "a.BAK"), (Bytes{'o', 'l', 'd', 'w'}));
    EXPECT_EQ(ReadFile(dest() / "a.jws"), (Bytes{'o', 'l', 'd', 's'}));
    // Without an old a.jws there is nothing to keep, and both convert.
    fs::remove(dest() / "a.jws");
    fs::remove(dest() / "a.BAK");
    WriteFile(dest() / "a.jww", {'o', 'l', 'd', 'w'});
    EXPECT_EQ(
        RunSession(RealFileSystem(), Request(dest()), Jobs(dest(), {"a.jww", "a.jws"}), &events).summary.converted, 2);
}

TEST_F(Session, ADrawingAndItsBackupThatAreOneFileLeaveNoDebris) {
    // What a run killed between its two renames leaves: the old drawing under both names.
    WriteFile(dest() / "a.jww", {'o', 'l', 'd'});
    std::error_code linked;
    fs::create_hard_link(dest() / "a.jww", dest() / "a.BAK", linked);
    if (linked) GTEST_SKIP() << "no hard links here: " << linked.message();
    Recorder events;
    EXPECT_EQ(RunSession(RealFileSystem(), Request(dest()), Jobs(dest(), {"a.jww"}), &events).summary.converted, 1);
    const auto files = Files(dest());
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("a.BAK"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(Session, TheSameFileGivenTwiceIsConvertedOnce) {
    JobList jobs = Jobs(dest(), {"a.jww"});
    jobs.add(src() / "." / "a.jww", dest() / "a.jww");
    Recorder events;
    const SessionResult result = RunSession(RealFileSystem(), Request(dest()), jobs, &events);
    EXPECT_EQ(result.summary.converted, 1);
    EXPECT_EQ(result.summary.failed, 0);
    EXPECT_EQ(events.results[1].outcome, Outcome::Repeated);
    EXPECT_FALSE(fs::exists(dest() / "a.BAK"));
}

TEST_F(Session, ADestinationSwappedForALinkIsNeverWrittenThrough) {
    const fs::path victim = dir / "victim";
    fs::create_directories(victim);
    Gate gate;
    SessionResult result;
    SessionRequest request = Request(dest());
    // What a front end writes at the end (a list of failures) goes through DEST as the run holds it.
    request.finish = [&](const FolderHandle* held) {
        ASSERT_NE(held, nullptr);
        EXPECT_FALSE(ReplaceFileIn(RealFileSystem(), *held, "failed.txt", "list"));
    };
    std::thread run([&] { result = RunSession(RealFileSystem(), request, Jobs(dest()), &gate); });
    gate.WaitForStart();
    std::error_code moved;  // Windows renames no folder the run holds
    fs::rename(dest(), dir / "moved", moved);
    std::error_code linked;
    if (!moved) fs::create_directory_symlink(victim, dest(), linked);
    gate.Open();
    run.join();
    if (moved) GTEST_SKIP() << "the destination cannot be renamed while a run holds it: " << moved.message();
    if (linked) GTEST_SKIP() << "no symbolic links here: " << linked.message();
    EXPECT_TRUE(fs::is_empty(victim));
    // The folder the run held: the drawing begun before the swap, and the list; the drawings
    // after it fail, as DEST no longer names the folder held.
    EXPECT_EQ(Files(dir / "moved").size(), 2u);
    EXPECT_EQ(result.summary.failed, 2);
}

TEST_F(Session, WhereIdentityCannotBeTrustedAFileMadeInTheDestinationTellsTheSource) {
    // A file system that numbers each spelling anew and resolves nothing, as FUSE drivers of
    // FAT may: only the probe sees that the link is the source folder.
    class Untrusted final : public ForwardingFileSystem {
    public:
        std::error_code identify(const fs::path&, FileIdentity& out) override {
            out = {1, ++next_};
            return {};
        }
        bool identityTrusted(const fs::path&) override { return false; }
        fs::path resolve(const fs::path& path) override { return fs::absolute(path).lexically_normal(); }

    private:
        std::uint64_t next_ = 0;
    } files;
    std::error_code linked;
    fs::create_directory_symlink(src(), dir / "also-src", linked);
    if (linked) GTEST_SKIP() << "no symbolic links here: " << linked.message();
    Recorder events;
    const SessionResult result = RunSession(files, Request(dir / "also-src"), Jobs(dir / "also-src"), &events);
    EXPECT_EQ(result.setup.kind, SetupKind::DestIsSource) << result.setup.message();
    EXPECT_EQ(Files(src()).size(), 3u);  // no backup, no probe left
}

TEST_F(Session, EveryPlatformCallThatFailsLosesNothing) {
    const Bytes old = {'o', 'l', 'd'};
    for (int c = 0; c < kFsCallCount; ++c) {
        const FsCall call = static_cast<FsCall>(c);
        SCOPED_TRACE(FsCallName(call));
        fs::remove_all(dest());
        fs::remove_all(temp());
        fs::create_directories(dest() / "sub");
        WriteFile(dest() / "a.jww", old);
        WriteFile(dest() / "a.BAK", {'o', 'l', 'd', 'e', 'r'});
        // What a killed run left: its mark and a temp file.
        WriteFile(dest() / ".qm-killedrun0.run", {'x'});
        WriteFile(dest() / ".qm-killedrun0-abcdef.tmp", {'y'});
        FaultyFileSystem files;
        int calls = 0;
        files.failCall = [&](FsCall which, const fs::path&) {
            if (which != call) return std::error_code{};
            ++calls;
            return std::make_error_code(std::errc::io_error);
        };
        SessionRequest request = Request(dest());
        request.tempBase.clear();  // the system's temp folder, which the file system is asked for
        request.createFolders = true;
        request.settings.sync = true;
        request.settings.keepTimes = true;
        JobList jobs = Jobs(dest(), {"a.jww", "b.jww"});
        jobs.add(src() / "c.jww", dest() / "sub" / "c.jww");
        Recorder events;
        const SessionResult result = RunSession(files, request, jobs, &events);
        // A run never truncates a file nor asks what it may write, holds every folder from DEST
        // down, syncs either whole file systems or each drawing and folder, as the system
        // allows, and reads no tree (the window's folder search does).
        const FsCall unusedSync = files.canSyncFileSystems() ? FsCall::SyncDirectory : FsCall::SyncFileSystem;
        const bool treeReading = call == FsCall::EnterFolder || call == FsCall::ListHeld;
        if (call != FsCall::Create && call != FsCall::HoldFolder && call != FsCall::Writable && call != unusedSync &&
            !treeReading) {
            EXPECT_GT(calls, 0) << "never called";
        }
        // Whatever failed: each name holds its old drawing or the whole new one, the old one is
        // kept where it was replaced, and the sources are as they were.
        const Bytes now = ReadFile(dest() / "a.jww");
        const bool replaced = now != old;
        if (replaced) {
            EXPECT_EQ(ReadFile(dest() / "a.BAK"), old);
            ASSERT_FALSE(events.results.empty());
            EXPECT_EQ(events.results[0].outcome, Outcome::Converted);
        } else {
            EXPECT_EQ(ReadFile(dest() / "a.BAK"), (Bytes{'o', 'l', 'd', 'e', 'r'}));
            EXPECT_TRUE(result.setup || events.results[0].outcome == Outcome::Failed);
        }
        // Nothing of the run's own is left (the killed run's files may stay where the run could
        // not look at them).
        for (const auto& [name, bytes] : Files(dest())) {
            if (name.find("killedrun0") != std::string::npos) continue;
            EXPECT_FALSE(name.find(".qm-") != std::string::npos && call != FsCall::Remove) << name;
        }
        EXPECT_EQ(Files(src()).size(), 3u);
    }
}

TEST_F(Session, ADestinationMovedAwayFailsTheDrawingsLeftAndSaysWhereTheWrittenOnesWent) {
    // Moves DEST away once the first drawing is in, as "move to Trash" does.
    class Mover final : public Recorder {
    public:
        Mover(fs::path from, fs::path to) : from_(std::move(from)), to_(std::move(to)) {}
        void FileFinished(std::size_t index, const FileResult& result) override {
            Recorder::FileFinished(index, result);
            std::error_code ec;
            if (index == 0) fs::rename(from_, to_, ec);
            if (index == 0) moved = !ec;
        }
        bool moved = false;

    private:
        fs::path from_, to_;
    } events(dest(), dir / "Trash");
    const SessionResult result = RunSession(RealFileSystem(), Request(dest()), Jobs(dest()), &events);
    if (!events.moved) GTEST_SKIP() << "this system keeps a folder with files open in it where it is";
    ASSERT_FALSE(result.setup) << result.setup.message();
    EXPECT_EQ(events.results[0].outcome, Outcome::Converted);
    for (const std::size_t i : {1u, 2u}) EXPECT_EQ(events.results[i].failure.kind, ProblemKind::DestinationMoved);
    EXPECT_TRUE(fs::exists(dir / "Trash" / "a.jww"));
    EXPECT_FALSE(fs::exists(dir / "Trash" / "b.jww"));
    ASSERT_FALSE(result.summary.warnings.empty());
    const RunNote& note = result.summary.warnings.front();
    EXPECT_EQ(note.kind, RunNote::Kind::DestinationMoved);
    if (!note.movedTo.empty()) {
        EXPECT_TRUE(fs::equivalent(note.movedTo, dir / "Trash")) << note.message();
    }
}
