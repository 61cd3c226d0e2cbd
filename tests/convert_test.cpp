// The conversion driver: the Convert command's checks through a recording window, backups and
// atomic replacement, failures that leave the destination as it was, and batches.
#include "testkit.h"

#include "convert/batch.h"
#include "form/ConvertCommand.h"
#include "convert/replace.h"
#include "convert/session.h"
#include "drawing/dimensions.h"

#include <algorithm>
#include <atomic>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

using namespace quellmark;
using namespace qmtest;

namespace {

// Records the command's refusals; answers the confirmation as told.
class RecordingUi final : public ConvertUi {
public:
    bool confirm = true;
    int confirmations = 0;
    std::vector<CommandRefusal> refusals;

    void Refuse(CommandRefusal why) override { refusals.push_back(why); }
    bool ConfirmStart() override {
        ++confirmations;
        return confirm;
    }
};

// What a session tells: the files it starts converting, in order, each result by its job's
// index, and the folders it waited for.
class Recorder : public SessionEvents {
public:
    void FileStarted(std::size_t, const BatchJob& job) override { started.push_back(PathText(job.source.filename())); }
    void FileFinished(std::size_t index, const FileResult& result) override {
        if (results.size() <= index) results.resize(index + 1);
        results[index] = result;
    }
    void Waiting(const fs::path& folder, const Holder&) override { waited.push_back(folder); }
    std::vector<std::string> started;
    std::vector<FileResult> results;
    std::vector<fs::path> waited;
};

Bytes Drawing(std::int32_t version = 600, int dimensions = 1) {
    JwwPlan plan;
    plan.version = version;
    plan.entities = {Line{}};
    for (int i = 0; i < dimensions; ++i) plan.entities.push_back(Dimension{});
    return BuildJww(plan);
}

Bytes Converted(const Bytes& input) {
    JwwDocument doc = MustReadJww(input);
    AddDimensionAttributes(doc, doc.Header.Version);
    return WriteJww(doc, doc.Header.Version);
}

class Driver : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(source());
        fs::create_directories(dest());
        fs::create_directories(temp());
        ctx.images.TempFolder = temp();
        ctx.settings.sync = false;
        input.searchReady = true;
        input.listShown = true;
        input.sourceFolder = source().string() + "/";
        input.destFolder = dest().string() + "/";
    }
    fs::path source() const { return dir / "src"; }
    fs::path dest() const { return dir / "dst"; }
    fs::path temp() const { return dir / "TEMP"; }
    // The window's Convert command without the window: checks, then the batch session.
    BatchSummary RunCommand(const ConvertCommandInput& in, RecordingUi& recorder, SessionEvents* events = nullptr) {
        if (!CheckConvertCommand(in, recorder, RealFileSystem())) return {};
        SessionRequest request = CommandSession(in, temp());
        request.settings.sync = false;
        request.workers = 1;
        const SessionResult result = RunSession(RealFileSystem(), request, CommandJobs(in), events);
        EXPECT_FALSE(result.setup) << result.setup.message();
        return result.summary;
    }
    // The batch runner alone, into whatever the jobs name.
    BatchSummary Batch(const JobList& jobs, int workers, FileSystem& files, Recorder* events,
                       const ConvertSettings& settings = {}) {
        BatchPlan plan;
        plan.workers = workers;
        plan.tempRoot = temp();
        plan.settings = settings;
        return RunBatch(files, jobs, plan, events);
    }
    std::vector<std::string> destFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dest())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    ConversionContext ctx{RealFileSystem()};
    ConvertCommandInput input;
    RecordingUi ui;
};

}  // namespace

TEST_F(Driver, EachFailedCheckRefusesForItsReasonAndNoAnswersNo) {
    struct Case {
        std::function<void(ConvertCommandInput&)> change;
        CommandRefusal why;
    };
    const Case cases[] = {
        {[](ConvertCommandInput& i) { i.searchReady = false; }, CommandRefusal::NoSearchFolder},
        {[](ConvertCommandInput& i) { i.listShown = false; }, CommandRefusal::NoFileList},
        {[](ConvertCommandInput& i) { i.names.clear(); }, CommandRefusal::NoSelection},
        {[](ConvertCommandInput& i) { i.destFolder.clear(); }, CommandRefusal::NoDestination},
        {[this](ConvertCommandInput& i) { i.destFolder = (dir / "gone").string() + "/"; },
         CommandRefusal::DestinationMissing},
        {[](ConvertCommandInput& i) { i.destFolder = i.sourceFolder; }, CommandRefusal::SameFolder},
        // The same folder spelled another way is the same folder.
        {[this](ConvertCommandInput& i) { i.destFolder = (dir / "dst" / ".." / "src").string() + "/"; },
         CommandRefusal::SameFolder},
    };
    WriteFile(source() / "A.JWW", Drawing());
    input.names = {"A.JWW"};
    for (const Case& c : cases) {
        RecordingUi recorder;
        ConvertCommandInput changed = input;
        c.change(changed);
        EXPECT_FALSE(CheckConvertCommand(changed, recorder, RealFileSystem()));
        EXPECT_EQ(recorder.refusals, std::vector<CommandRefusal>{c.why});
        EXPECT_EQ(recorder.confirmations, 0);
    }
    ui.confirm = false;
    EXPECT_FALSE(CheckConvertCommand(input, ui, RealFileSystem()));
    EXPECT_EQ(ui.confirmations, 1);
    EXPECT_TRUE(destFiles().empty());
}

TEST_F(Driver, ConvertsTheSelectionInOrderAndReportsTheCounts) {
    WriteFile(source() / "B.JWW", Drawing(230));
    WriteFile(source() / "a.jws", JwsDrawing());
    WriteFile(source() / "C.JW$", Drawing());
    WriteFile(source() / "D.BAK", Drawing());
    WriteFile(source() / "notes.txt", {'x'});
    WriteFile(source() / "fake.jww", {'n', 'o', 'p', 'e'});
    Bytes broken = Drawing();
    broken.resize(broken.size() - 5);
    WriteFile(source() / "broken.jww", broken);
    input.names = {"B.JWW", "notes.txt", "a.jws", "C.JW$", "D.BAK", "fake.jww", "broken.jww", "deleted.jww", ""};

    Recorder recorder;
    const BatchSummary summary = RunCommand(input, ui, &recorder);
    EXPECT_EQ(summary.converted, 2);
    EXPECT_EQ(summary.skipped, 4);
    EXPECT_EQ(summary.failed, 2);  // the broken drawing, and the one that cannot be read
    ASSERT_EQ(recorder.results.size(), 8u);
    EXPECT_EQ(recorder.results[7].failure.kind, ProblemKind::CannotRead);
    EXPECT_EQ(recorder.started, (std::vector<std::string>{"B.JWW", "a.jws", "broken.jww"}));
    const FileResult& failed = recorder.results[6];
    EXPECT_EQ(failed.failure.kind, ProblemKind::Truncated);
    EXPECT_EQ(failed.failure.section, Section::EntityList);
    EXPECT_LT(failed.failure.offset, static_cast<std::int64_t>(broken.size()));
    EXPECT_EQ(recorder.results[5].failure.kind, ProblemKind::NotADrawing);
    // A file that is no drawing is read no further than its first bytes.
    EXPECT_EQ(recorder.results[5].bytesIn, 4u);
    EXPECT_EQ(destFiles(), (std::vector<std::string>{"B.JWW", "a.jws"}));
    EXPECT_TRUE(ReadFile(dest() / "B.JWW") == Converted(Drawing(230)));
    EXPECT_TRUE(fs::is_empty(temp()));
}

TEST_F(Driver, TheOldFileBecomesTheBackupAndAnOlderBackupGoes) {
    WriteFile(source() / "A.JWW", Drawing());
    WriteFile(source() / "A.JWS", JwsDrawing());
    WriteFile(dest() / "A.JWW", {'o', 'l', 'd', 'w'});
    WriteFile(dest() / "A.JWS", {'o', 'l', 'd', 's'});
    WriteFile(dest() / "A.BAK", {'o', 'l', 'd', 'e', 'r'});
    input.names = {"A.JWW"};
    RunCommand(input, ui);
    EXPECT_EQ(destFiles(), (std::vector<std::string>{"A.BAK", "A.JWS", "A.JWW"}));
    EXPECT_EQ(ReadFile(dest() / "A.BAK"), (Bytes{'o', 'l', 'd', 'w'}));

    // A JWW and a JWS drawing of one base name share the one backup: the later replaces it.
    input.names = {"A.JWS"};
    RunCommand(input, ui);
    EXPECT_EQ(ReadFile(dest() / "A.BAK"), (Bytes{'o', 'l', 'd', 's'}));
    EXPECT_EQ(BackupPath("/x/plain"), fs::path("/x/plain.BAK"));
    EXPECT_EQ(BackupPath("/x/a.b.jww"), fs::path("/x/a.b.BAK"));
}

TEST_F(Driver, AFailedWriteOrBackupLeavesTheDestinationAsItWas) {
    WriteFile(source() / "A.JWW", Drawing());
    WriteFile(dest() / "A.JWW", {'o', 'l', 'd'});
    WriteFile(dest() / "A.BAK", {'o', 'l', 'd', 'e', 'r'});
    FaultyFileSystem faulty;
    ConversionContext faultyCtx(faulty);
    faultyCtx.images.TempFolder = temp();
    faultyCtx.settings.sync = true;
    auto check = [&](ProblemKind kind, const std::string& expectedReason) {
        const FileResult r = ConvertJww(faultyCtx, source() / "A.JWW", dest() / "A.JWW");
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_EQ(r.failure.kind, kind) << r.failure.message();
        EXPECT_NE(r.failure.message().find(expectedReason), std::string::npos) << r.failure.message();
        EXPECT_EQ(destFiles(), (std::vector<std::string>{"A.BAK", "A.JWW"}));
        EXPECT_EQ(ReadFile(dest() / "A.JWW"), (Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(ReadFile(dest() / "A.BAK"), (Bytes{'o', 'l', 'd', 'e', 'r'}));
    };
    faulty.failWritesAfter = 1000;  // the disk fills up
    check(ProblemKind::CannotWrite, "no space left on device");
    faulty.failWritesAfter = -1;
    faulty.failSync = true;
    check(ProblemKind::CannotWrite, "cannot sync");
    // Synced with others in a batch: the drawing waits written, and fails when the sync does.
    faultyCtx.syncInGroups = true;
    EXPECT_EQ(ConvertJww(faultyCtx, source() / "A.JWW", dest() / "A.JWW").outcome, Outcome::Converted);
    ASSERT_EQ(faultyCtx.waiting.size(), 1u);
    const std::vector<FileResult> synced = FinishWaiting(faultyCtx);
    ASSERT_EQ(synced.size(), 1u);
    EXPECT_EQ(synced[0].outcome, Outcome::Failed);
    EXPECT_EQ(synced[0].failure.message(), "cannot sync: input/output error");
    EXPECT_EQ(destFiles(), (std::vector<std::string>{"A.BAK", "A.JWW"}));
    EXPECT_EQ(ReadFile(dest() / "A.JWW"), (Bytes{'o', 'l', 'd'}));
    faultyCtx.syncInGroups = false;
    faulty.failSync = false;
    faulty.failLink = [](const fs::path& from, const fs::path&) { return from.filename() == "A.BAK"; };
    check(ProblemKind::CannotKeepBackup, "cannot move the older one aside");
    faulty.failLink = [](const fs::path& from, const fs::path&) { return from.filename() == "A.JWW"; };
    check(ProblemKind::CannotKeepBackup, "cannot keep the old file as A.BAK");
    faulty.failLink = [](const fs::path&, const fs::path&) { return false; };
    faulty.failRename = [](const fs::path&, const fs::path& to) { return to.filename() == "A.BAK"; };
    check(ProblemKind::CannotKeepBackup, "cannot keep the old file as A.BAK");
    faulty.failRename = [](const fs::path&, const fs::path& to) { return to.filename() == "A.JWW"; };
    check(ProblemKind::CannotWrite, "cannot replace A.JWW");
    faulty.failRename = [](const fs::path&, const fs::path&) { return false; };
    faulty.failCreate = [](const fs::path&) { return true; };
    check(ProblemKind::CannotWrite, "cannot create a temporary file beside A.JWW: permission denied");
}

TEST_F(Driver, ACrashAtAnyStepOfAReplaceLeavesADrawingUnderItsNameAndABackup) {
    // With hard links the name holds a drawing at every instant; without them (FAT, exFAT) the
    // replace's record lets the next run into the folder undo or finish it. Either way, once the
    // next run has been there, the name holds a drawing, ".BAK" the backup that goes with it,
    // and nothing of the killed run is left.
    const Bytes oldDrawing = Drawing(420, 2);
    const Bytes olderBackup = {'o', 'l', 'd', 'e', 'r'};
    WriteFile(source() / "A.JWW", Drawing());
    const Bytes converted = Converted(Drawing());
    for (const bool links : {true, false}) {
        for (const bool withBackup : {true, false}) {
            for (int crashAfter = 0; crashAfter < 9; ++crashAfter) {
                SCOPED_TRACE(std::to_string(links) + std::to_string(withBackup) + std::to_string(crashAfter));
                fs::remove_all(dest());
                fs::create_directories(dest());
                WriteFile(dest() / "A.JWW", oldDrawing);
                if (withBackup) WriteFile(dest() / "A.BAK", olderBackup);
                FaultyFileSystem crashing;
                crashing.crashAfterSteps = crashAfter;
                if (!links) {
                    crashing.failCall = [](FsCall call, const fs::path&) {
                        return call == FsCall::Link ? std::make_error_code(std::errc::operation_not_supported)
                                                    : std::error_code{};
                    };
                }
                ConversionContext crashCtx(crashing);
                crashCtx.images.TempFolder = temp();
                const FileResult r = ConvertJww(crashCtx, source() / "A.JWW", dest() / "A.JWW");
                if (links) {
                    const Bytes now = ReadFile(dest() / "A.JWW");
                    EXPECT_TRUE(now == oldDrawing || now == converted);
                    EXPECT_EQ(r.outcome == Outcome::Converted, now == converted);
                }
                SessionRequest next;
                next.dest = dest();
                next.tempBase = temp() / "next";
                EXPECT_FALSE(RunSession(RealFileSystem(), next, JobList(), nullptr).setup);
                const Bytes now = ReadFile(dest() / "A.JWW");
                ASSERT_TRUE(now == oldDrawing || now == converted);
                if (now == converted) {
                    EXPECT_EQ(ReadFile(dest() / "A.BAK"), oldDrawing);
                } else if (withBackup) {
                    EXPECT_EQ(ReadFile(dest() / "A.BAK"), olderBackup);
                } else if (fs::exists(dest() / "A.BAK")) {
                    EXPECT_EQ(ReadFile(dest() / "A.BAK"), oldDrawing);  // a second name of the old drawing
                }
                for (const std::string& name : destFiles()) EXPECT_TRUE(name == "A.JWW" || name == "A.BAK") << name;
            }
        }
    }
}

TEST_F(Driver, TheNewDrawingKeepsThePermissionsOfTheOneItReplaces) {
    WriteFile(source() / "A.JWW", Drawing());
    WriteFile(dest() / "A.JWW", Drawing());
    fs::permissions(dest() / "A.JWW", fs::perms::owner_read | fs::perms::group_read);
    const fs::perms kept = fs::status(dest() / "A.JWW").permissions();  // on Windows: read-only
    EXPECT_EQ(ConvertJww(ctx, source() / "A.JWW", dest() / "A.JWW").outcome, Outcome::Converted);
    EXPECT_EQ(fs::status(dest() / "A.JWW").permissions(), kept);
    // Again, with a read-only ".BAK" to replace (which Windows refuses to replace or remove as it
    // stands): converted, and no temp file left behind.
    WriteFile(source() / "A.JWW", Drawing(280, 1));
    EXPECT_EQ(ConvertJww(ctx, source() / "A.JWW", dest() / "A.JWW").outcome, Outcome::Converted);
    EXPECT_EQ(fs::status(dest() / "A.JWW").permissions(), kept);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dest())) left.push_back(PathText(entry.path().filename()));
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"A.BAK", "A.JWW"}));
}

TEST_F(Driver, AnImageDrawingLeavesNoTempFilesWhateverHappens) {
    JwwPlan plan;
    plan.version = 700;
    plan.images = {Image{"A.BMP", 100, {}}};
    plan.entities = {Text{{}, {}, 0, {}, "", "^@BM%temp%A.BMP,1"}};
    WriteFile(source() / "I.JWW", BuildJww(plan));
    input.names = {"I.JWW"};
    RunCommand(input, ui);
    EXPECT_TRUE(ReadFile(dest() / "I.JWW") == BuildJww(plan));
    EXPECT_TRUE(fs::is_empty(temp()));

    FaultyFileSystem faulty;
    faulty.failWritesAfter = 50;
    ConversionContext faultyCtx(faulty);
    faultyCtx.images.TempFolder = temp();
    EXPECT_EQ(ConvertJww(faultyCtx, source() / "I.JWW", dest() / "J.JWW").outcome, Outcome::Failed);
    EXPECT_TRUE(fs::is_empty(temp()));
    EXPECT_FALSE(fs::exists(dest() / "J.JWW"));
}

TEST_F(Driver, DryRunReadsAndMarksButWritesNothing) {
    WriteFile(source() / "A.JWW", Drawing(600, 3));
    ctx.settings.dryRun = true;
    const FileResult r = ConvertFile(ctx, source() / "A.JWW", dest() / "A.JWW");
    EXPECT_EQ(r.outcome, Outcome::WouldConvert);
    EXPECT_EQ(r.dimensions, 3);
    EXPECT_EQ(r.marked, 3);
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_TRUE(destFiles().empty());

    // Bytes after the end of a drawing are not part of it, and its converted form would lose
    // them: it fails, unless they are to be dropped, with a word.
    JwsPlan plan;
    plan.entities = {Dimension{}};
    plan.trailing = {1, 2, 3, 4};
    const Bytes withTrailing = BuildJws(plan);
    WriteFile(source() / "T.JWS", withTrailing);
    const FileResult refused = ConvertFile(ctx, source() / "T.JWS", dest() / "T.JWS");
    EXPECT_EQ(refused.outcome, Outcome::Failed);
    EXPECT_EQ(refused.failure.kind, ProblemKind::BytesAfterEnd);
    EXPECT_EQ(refused.failure.message(),
              "4 bytes after the end of the drawing at offset " + std::to_string(withTrailing.size() - 4));
    ctx.settings.dropTrailingBytes = true;
    const FileResult trailing = ConvertFile(ctx, source() / "T.JWS", dest() / "T.JWS");
    EXPECT_EQ(trailing.outcome, Outcome::WouldConvert);
    EXPECT_EQ(trailing.warnings, std::vector<std::string>{"4 bytes after the end of the drawing were not kept"});
    EXPECT_EQ(trailing.changes[ChangeKind::TrailingBytesDropped], 1);
}

TEST_F(Driver, ParallelBatchesGiveWhatOneAtATimeGives) {
    JobList jobs;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "D" + std::to_string(i) + (i % 3 == 0 ? ".JWS" : ".JWW");
        WriteFile(source() / name, i % 3 == 0 ? JwsDrawing() : Drawing(230 + i * 50, i));
        jobs.add(source() / name, dest() / name);
    }
    // Two sources with one destination name, and a JWW and JWS pair sharing a backup: in order.
    fs::create_directories(dir / "other");
    WriteFile(dir / "other" / "D1.JWW", Drawing(700, 7));
    jobs.add(dir / "other" / "D1.JWW", dest() / "D1.JWW");
    WriteFile(source() / "D1.JWS", JwsDrawing(351));
    jobs.add(source() / "D1.JWS", dest() / "D1.JWS");

    // One worker syncing each drawing on its own, two syncing them in groups: the same result.
    struct OneSyncPerDrawing final : ForwardingFileSystem {
        bool canSyncFileSystems() override { return false; }
    } oneByOne;
    Recorder one, two;
    const BatchSummary oneSummary = Batch(jobs, 1, oneByOne, &one);
    std::map<std::string, Bytes> first;
    for (const auto& e : fs::directory_iterator(dest())) first[e.path().filename().string()] = ReadFile(e.path());
    fs::remove_all(dest());
    fs::create_directories(dest());
    const BatchSummary twoSummary = Batch(jobs, 2, RealFileSystem(), &two);
    std::map<std::string, Bytes> second;
    for (const auto& e : fs::directory_iterator(dest())) second[e.path().filename().string()] = ReadFile(e.path());

    EXPECT_EQ(oneSummary.converted, 13);
    EXPECT_EQ(twoSummary.converted, 13);
    EXPECT_TRUE(first == second);
    ASSERT_EQ(one.results.size(), two.results.size());
    for (std::size_t i = 0; i < one.results.size(); ++i) {
        EXPECT_EQ(one.results[i].source, two.results[i].source);
        EXPECT_EQ(one.results[i].marked, two.results[i].marked);
    }
    // The first of the two D1.JWW stands and the second fails naming it, so no drawing of the
    // batch becomes another's backup; the JWS of the same base name still shares D1.BAK.
    EXPECT_TRUE(second["D1.JWW"] == Converted(Drawing(280, 1)));
    EXPECT_EQ(two.results[12].failure.kind, ProblemKind::Clash);
    EXPECT_NE(two.results[12].failure.message().find("D1.JWW"), std::string::npos);
    EXPECT_EQ(second.count("D1.BAK"), 0u);
    EXPECT_TRUE(fs::is_empty(temp()));
}

TEST_F(Driver, AnOlderBackupThatCannotBeRemovedIsKeptAsideAndTheConversionStands) {
    WriteFile(source() / "A.JWW", Drawing());
    WriteFile(dest() / "A.JWW", {'o', 'l', 'd'});
    WriteFile(dest() / "A.BAK", {'o', 'l', 'd', 'e', 'r'});
    FaultyFileSystem faulty;
    faulty.failRemove = [](const fs::path&) { return true; };
    ConversionContext faultyCtx(faulty);
    faultyCtx.images.TempFolder = temp();
    EXPECT_EQ(ConvertJww(faultyCtx, source() / "A.JWW", dest() / "A.JWW").outcome, Outcome::Converted);
    EXPECT_EQ(ReadFile(dest() / "A.BAK"), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(ReadFile(dest() / "A.JWW") == Converted(Drawing()));
}

TEST_F(Driver, AWriteThatFailsAtAnyPointLeavesEverythingAsItWas) {
    JwwPlan plan;
    plan.version = 700;
    RandomDrawing random(4);
    plan.entities = random.entities(300);
    plan.images = {Image{"A.BMP", 3000, {}}};
    plan.entities.push_back(Text{{}, {}, 0, {}, "", "^@BM%temp%A.BMP,1"});
    const Bytes input = BuildJww(plan);
    WriteFile(source() / "A.JWW", input);
    WriteFile(dest() / "A.JWW", {'o', 'l', 'd'});
    WriteFile(dest() / "A.BAK", {'o', 'l', 'd', 'e', 'r'});
    FaultyFileSystem faulty;
    ConversionContext faultyCtx(faulty);
    faultyCtx.images.TempFolder = temp();
    // The full path writes the temp image files through the same seam: every 1-in-40 point of
    // all the bytes written, images and drawing together. Copy-through writes the drawing alone,
    // as a copy with its flags words written over it.
    for (const bool copyThrough : {false, true}) {
        faultyCtx.settings.copyThrough = copyThrough;
        const std::int64_t total = static_cast<std::int64_t>(input.size()) + (copyThrough ? 0 : 3000);
        for (std::int64_t after = 0; after < total; after += total / 40) {
            faulty.failWritesAfter = after;
            faulty.bytesWritten = 0;
            const FileResult r = ConvertJww(faultyCtx, source() / "A.JWW", dest() / "A.JWW");
            ASSERT_EQ(r.outcome, Outcome::Failed) << after;
            EXPECT_EQ(r.failure.kind, ProblemKind::CannotWrite) << r.failure.message();
            EXPECT_EQ(r.failure.error, std::errc::no_space_on_device) << r.failure.message();
            ASSERT_EQ(destFiles(), (std::vector<std::string>{"A.BAK", "A.JWW"})) << after;
            EXPECT_EQ(ReadFile(dest() / "A.JWW"), (Bytes{'o', 'l', 'd'}));
            EXPECT_EQ(ReadFile(dest() / "A.BAK"), (Bytes{'o', 'l', 'd', 'e', 'r'}));
            EXPECT_TRUE(fs::is_empty(temp()));
        }
    }
    EXPECT_TRUE(ReadFile(source() / "A.JWW") == input);

    // A long drawing with one dimension to mark is copied up to the block with the mark, which
    // is written, and copied after it: the copy fails, or the write.
    JwwPlan few;
    few.entities = std::vector<Entity>(2000, Line{});
    few.entities.push_back(Dimension{});
    const Bytes longer = BuildJww(few);
    WriteFile(source() / "A.JWW", longer);
    // A drawing written a moment ago is written out whole: its times would not show another
    // write within the same tick. One written an hour ago is copied.
    fs::last_write_time(source() / "A.JWW", fs::file_time_type::clock::now() - std::chrono::hours(1));
    faultyCtx.settings.copyThrough = true;
    for (const std::int64_t after : {std::int64_t{0}, static_cast<std::int64_t>(longer.size()) - 1}) {
        faulty.failWritesAfter = after;
        faulty.bytesWritten = 0;
        const FileResult r = ConvertJww(faultyCtx, source() / "A.JWW", dest() / "A.JWW");
        ASSERT_EQ(r.outcome, Outcome::Failed) << after;
        EXPECT_EQ(r.failure.error, std::errc::no_space_on_device) << r.failure.message();
        // A disk that fills during the copy says how far the file got.
        if (after < static_cast<std::int64_t>(longer.size())) {
            EXPECT_EQ(r.failure.offset, after);
        }
        EXPECT_EQ(ReadFile(dest() / "A.JWW"), (Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(destFiles(), (std::vector<std::string>{"A.BAK", "A.JWW"}));
    }
    faulty.failWritesAfter = -1;
    EXPECT_EQ(ConvertJww(faultyCtx, source() / "A.JWW", dest() / "A.JWW").outcome, Outcome::Converted);
    EXPECT_TRUE(ReadFile(dest() / "A.JWW") == Converted(longer));
}

// A source written while it is converted never gives an output that is no state it ever had:
// written between its read and its copy (its times show that), written through a mapping (which
// moves no time), or written over and over while it is read.
TEST_F(Driver, ASourceWrittenWhileItIsConvertedNeverGivesAMixedOutput) {
    JwwPlan plan;
    plan.entities = std::vector<Entity>(20000, Line{});
    plan.entities.push_back(Dimension{});
    const Bytes original = BuildJww(plan);
    const Bytes expected = Converted(original);
    const fs::path path = source() / "A.JWW";
    const std::size_t inALine = original.size() / 2;  // in a line, far from the dimension
    Bytes other = original;
    other[inALine] ^= 0xFF;
    // Written an hour ago, a drawing is copied inside the system: its times would show a write.
    const auto settle = [&] { fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1)); };
    FaultyFileSystem faulty;
    ConversionContext faultyCtx(faulty);

    WriteFile(path, original);
    settle();
    bool written = false;
    faulty.beforeOutput = [&] {
        if (!std::exchange(written, true)) WriteFile(path, other);
    };
    ASSERT_EQ(ConvertJww(faultyCtx, path, dest() / "A.JWW").outcome, Outcome::Converted);
    EXPECT_TRUE(written);
    EXPECT_TRUE(ReadFile(dest() / "A.JWW") == expected);
#ifndef _WIN32
    // A program that holds the file mapped for writing changes its bytes and no time.
    fs::remove(dest() / "A.JWW");  // else it would be up to date, and nothing written
    WriteFile(path, original);
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    void* mapped = ::mmap(nullptr, original.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    volatile std::uint8_t* bytes = static_cast<std::uint8_t*>(mapped);
    bytes[inALine] = bytes[inALine];  // its page written once: later writes to it move no time
    settle();
    faulty.beforeOutput = [&] { bytes[inALine] = static_cast<std::uint8_t>(bytes[inALine] ^ 0xFF); };
    ASSERT_EQ(ConvertJww(faultyCtx, path, dest() / "A.JWW").outcome, Outcome::Converted);
    EXPECT_TRUE(ReadFile(dest() / "A.JWW") == expected);
    ::munmap(mapped, original.size());
    ::close(fd);

    // Two bytes far apart, the first always written before the second: a state the file had
    // never has the second ahead of the first.
    JwwPlan counted;
    counted.entities.push_back(Text{{}, {}, 0, {}, "", "first:A"});
    counted.entities.insert(counted.entities.end(), 40000, Line{});
    counted.entities.push_back(Text{{}, {}, 0, {}, "", "last:A"});
    counted.entities.push_back(Dimension{});
    const Bytes racing = BuildJww(counted);
    const auto after = [](const Bytes& b, std::string_view marker) {
        return static_cast<std::size_t>(std::search(b.begin(), b.end(), marker.begin(), marker.end()) - b.begin()) +
               marker.size();
    };
    const std::size_t first = after(racing, "first:");
    const std::size_t last = after(racing, "last:");
    WriteFile(path, racing);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int out = ::open(path.c_str(), O_WRONLY);
        for (int n = 1; !stop; n = (n + 1) % 26) {
            const char c = static_cast<char>('A' + n);
            EXPECT_EQ(::pwrite(out, &c, 1, static_cast<off_t>(first)), 1);
            EXPECT_EQ(::pwrite(out, &c, 1, static_cast<off_t>(last)), 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::close(out);
    });
    int converted = 0;
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
         std::chrono::steady_clock::now() < until;) {
        const FileResult r = ConvertJww(ctx, path, dest() / "R.JWW");
        // Between two writes the destination may already hold this very conversion.
        if (r.outcome != Outcome::Converted && r.outcome != Outcome::UpToDate) {
            EXPECT_EQ(r.failure.kind, ProblemKind::CannotRead) << r.failure.message();
            continue;
        }
        ++converted;
        const Bytes out = ReadFile(dest() / "R.JWW");
        const int ahead = (out[after(out, "first:")] - out[after(out, "last:")] + 26) % 26;
        EXPECT_LE(ahead, 1) << "a mixed output";
    }
    stop = true;
    writer.join();
    // On a slow machine every conversion may have met a write; once the writer stops, one
    // converts whole.
    if (converted == 0) {
        const FileResult r = ConvertJww(ctx, path, dest() / "R.JWW");
        EXPECT_TRUE(r.outcome == Outcome::Converted || r.outcome == Outcome::UpToDate) << r.failure.message();
    }
#endif
}

// Whether a destination lies below a folder is told from the text of plainly written paths and
// from their parts otherwise: both give the same answers.
TEST(PathsBelow, EverySpellingOfAFolderGivesTheSameAnswer) {
    EXPECT_TRUE(IsWithin("out/a/b.jww", "out", true));
    EXPECT_TRUE(IsWithin("out", "out", false));
    EXPECT_FALSE(IsWithin("out", "out", true));
    EXPECT_FALSE(IsWithin("outer/b.jww", "out", false));
    EXPECT_FALSE(IsWithin("/out/b.jww", "out", false));
    EXPECT_TRUE(IsWithin("out/./a/../b.jww", "out/", true));
    EXPECT_EQ(PathBelow("out/a/b.jww", "out"), fs::path("a/b.jww"));
    EXPECT_EQ(PathBelow("out//a/./b.jww", "out/"), fs::path("a/b.jww"));
    EXPECT_EQ(PathBelow("outer/b.jww", "out"), fs::path());
    EXPECT_EQ(PathBelow("out", "out"), fs::path());
    EXPECT_EQ(PathBelow("/x/out/a", "/x/out"), fs::path("a"));
    EXPECT_EQ(PathBelow("/a", "/"), fs::path("a"));
}

TEST_F(Driver, ADestinationThatDisappearsMidBatchFailsTheRestWithItsReason) {
    class RemoveDestination final : public Recorder {
    public:
        explicit RemoveDestination(fs::path folder) : folder_(std::move(folder)) {}
        void FileFinished(std::size_t index, const FileResult& result) override {
            Recorder::FileFinished(index, result);
            if (index != 0) return;
            fs::remove_all(folder_, removeError);
            kept = fs::exists(folder_);
        }
        std::error_code removeError;
        bool kept = false;

    private:
        fs::path folder_;
    };
    JobList jobs;
    for (const char* name : {"A.JWW", "B.JWW", "C.JWW"}) {
        WriteFile(source() / name, Drawing());
        jobs.add(source() / name, dest() / "sub" / name);
    }
    SessionRequest request;
    request.dest = dest();
    request.createFolders = true;
    request.workers = 1;
    request.settings.sync = false;
    request.tempBase = temp();
    RemoveDestination events(dest());
    const SessionResult result = RunSession(RealFileSystem(), request, jobs, &events);
    // Windows lets a folder a run holds open go only when the run lets go of it.
    if (events.removeError || events.kept) GTEST_SKIP() << "the destination in use is not removed at once here";
    EXPECT_EQ(result.summary.converted, 1);
    EXPECT_EQ(result.summary.failed, 2);
    EXPECT_EQ(events.results[1].failure.kind, ProblemKind::DestinationMoved);
    EXPECT_FALSE(fs::exists(dest()));
}

TEST_F(Driver, AnInterruptedBatchStartsNoFurtherDrawing) {
    class StopAfterFirst final : public Recorder {
    public:
        std::atomic<bool> stop{false};
        void FileFinished(std::size_t index, const FileResult& result) override {
            Recorder::FileFinished(index, result);
            stop = true;
        }
    };
    JobList jobs;
    for (const char* name : {"A.JWW", "B.JWW", "C.JWW"}) {
        WriteFile(source() / name, Drawing());
        jobs.add(source() / name, dest() / name);
    }
    StopAfterFirst events;
    ConvertSettings settings;
    settings.sync = false;
    settings.stop = &events.stop;
    const BatchSummary summary = Batch(jobs, 1, RealFileSystem(), &events, settings);
    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(summary.notStarted, 2);
    EXPECT_EQ(events.results[2].outcome, Outcome::NotStarted);
    EXPECT_EQ(destFiles(), std::vector<std::string>{"A.JWW"});
}
