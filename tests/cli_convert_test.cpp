// quellmark-cli convert, run as a user runs it on a generated folder tree.
#include "testkit.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <map>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace qmtest;

namespace {

CommandResult Cli(const std::string& args) {
    return RunCommand(std::string(QUELLMARK_CLI) + " " + args + " 2>&1");
}

CommandResult CliStdout(const std::string& args) {
    return RunCommand(std::string(QUELLMARK_CLI) + " " + args + kDropStderr);
}

std::map<std::string, Bytes> Tree(const fs::path& root) {
    std::map<std::string, Bytes> files;
    if (!fs::exists(root)) return files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) files[fs::relative(e.path(), root).generic_string()] = ReadFile(e.path());
    }
    return files;
}

#ifndef _WIN32
// The CLI as a process of its own with its standard output on a pipe; stderr goes nowhere.
struct StartedCli {
    pid_t pid;
    FILE* out;
};

StartedCli StartCli(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) return {-1, nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        dup2(open("/dev/null", O_WRONLY), 2);
        std::vector<char*> argv{const_cast<char*>(QUELLMARK_CLI)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(QUELLMARK_CLI, argv.data());
        _exit(127);
    }
    close(fds[1]);
    return {pid, fdopen(fds[0], "r")};
}

std::size_t Occurrences(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}
#endif

class CliConvert : public ::testing::Test {
protected:
    void SetUp() override {
        RandomDrawing random(11);
        fs::create_directories(src() / "sub" / "deeper");
        for (int i = 0; i < 6; ++i) {
            JwwPlan plan;
            plan.version = 230 + 100 * i;
            plan.entities = random.entities(40);
            plan.entities.push_back(Dimension{});
            WriteFile(src() / ("plan" + std::to_string(i) + ".jww"), BuildJww(plan));
        }
        JwwPlan images;
        images.version = 700;
        images.images = {Image{"P.BMP", 3000, {}}};
        images.entities = {Dimension{}, Text{{}, {}, 0, {}, "", "^@BM%temp%p.bmp,1"}};
        WriteFile(src() / "sub" / "deeper" / "photo.JWW", BuildJww(images));
        JwsPlan jws;
        jws.version = 300;  // written as 351
        jws.entities = {Dimension{}, Line{}};
        WriteFile(src() / "sub" / "part.jws", BuildJws(jws));
        WriteFile(src() / "sub" / "notes.txt", {'h', 'i'});
    }
    fs::path src() const { return dir / "src"; }
    std::string Q(const fs::path& p) const { return ShellWord(p); }

    TempDir dir;
};

}  // namespace

TEST_F(CliConvert, MirrorsATreeAndTwoJobsGiveWhatOneGives) {
    const CommandResult one = Cli("convert -r -q -j 1 -o " + Q(dir / "one") + " " + Q(src()));
    EXPECT_EQ(one.status, 0) << one.out;
    EXPECT_NE(one.out.find("converted 8, skipped 1, failed 0; "), std::string::npos) << one.out;
    const CommandResult two = Cli("convert -r -q -j 2 -o " + Q(dir / "two") + " " + Q(src()));
    EXPECT_EQ(two.status, 0) << two.out;
    const auto first = Tree(dir / "one");
    EXPECT_EQ(first.size(), 8u);
    EXPECT_TRUE(first.count("sub/deeper/photo.JWW"));
    EXPECT_TRUE(first.count("sub/part.jws"));
    EXPECT_FALSE(first.count("sub/notes.txt"));
    EXPECT_TRUE(first == Tree(dir / "two"));

    // A destination written with a trailing separator mirrors the tree just the same.
    const CommandResult slash = Cli("convert -r -q -o " + Q(dir / "slash") + "/ " + Q(src()));
    EXPECT_EQ(slash.status, 0) << slash.out;
    EXPECT_TRUE(first == Tree(dir / "slash"));

    // --keep-times: the drawing keeps its source's modification time.
    const auto past = fs::last_write_time(src() / "plan0.jww") - std::chrono::hours(24 * 400);
    fs::last_write_time(src() / "plan0.jww", past);
    EXPECT_EQ(Cli("convert --keep-times -q -o " + Q(dir / "kept") + " " + Q(src() / "plan0.jww")).status, 0);
    EXPECT_EQ(fs::last_write_time(dir / "kept" / "plan0.jww"), past);

    // Without -r only the folder's own files.
    const CommandResult flat = Cli("convert -q -o " + Q(dir / "flat") + " " + Q(src()));
    EXPECT_EQ(flat.status, 0);
    EXPECT_EQ(Tree(dir / "flat").size(), 6u);
}

TEST_F(CliConvert, FoldersLeftOutAreToldAndHiddenOnesEnteredOnlyWhenAsked) {
    fs::create_directories(src() / ".hidden");
    fs::copy_file(src() / "plan0.jww", src() / ".hidden" / "plan0.jww");
    const CommandResult flat = Cli("convert -q -o " + Q(dir / "flat") + " " + Q(src()));
    EXPECT_NE(flat.out.find("quellmark-cli: 2 sub-folders not entered; -r enters them\n"), std::string::npos)
        << flat.out;
    const CommandResult tree = Cli("convert -r -q -o " + Q(dir / "tree") + " " + Q(src()));
    EXPECT_NE(tree.out.find("quellmark-cli: 1 hidden folder (names starting with \".\") left out; "
                            "--hidden enters them\n"),
              std::string::npos)
        << tree.out;
    EXPECT_FALSE(fs::exists(dir / "tree" / ".hidden"));
    const CommandResult all = Cli("convert -r --hidden -q -o " + Q(dir / "all") + " " + Q(src()));
    EXPECT_EQ(all.out.find("left out"), std::string::npos) << all.out;
    EXPECT_TRUE(fs::exists(dir / "all" / ".hidden" / "plan0.jww"));

    // info walks folders the same way, describing the drawings among the files.
    auto described = [&](const std::string& options) {
        const std::string out = CliStdout("info --json " + options + " " + Q(src())).out;
        return std::count(out.begin(), out.end(), '\n');
    };
    EXPECT_EQ(described(""), 6);
    EXPECT_EQ(described("-r"), 8);
    EXPECT_EQ(described("-r --hidden"), 9);
}

TEST(CliOutput, LinesReachAPipeWhileTheBatchRuns) {
    // The lines of the batch are more than a pipe holds (64 KiB), so a program that wrote them
    // only at the end would have converted every drawing before the first line could be read;
    // one that writes each as it goes is still converting, and the interrupt stops it.
#ifdef _WIN32
    GTEST_SKIP() << "needs fork, a pipe to the child and SIGINT";
#else
    TempDir dir;
    fs::create_directories(dir / "src");
    const Bytes drawing = BuildJww(JwwPlan{});
    const std::string longName(200, 'n');
    constexpr std::size_t kDrawings = 400;
    for (std::size_t i = 0; i < kDrawings; ++i) {
        WriteFile(dir / "src" / (longName + std::to_string(1000 + i) + ".jww"), drawing);
    }
    const StartedCli cli =
        StartCli({"convert", "--json", "--no-sync", "-j", "1", "-o", (dir / "out").string(), (dir / "src").string()});
    ASSERT_TRUE(cli.out);
    char buffer[4096];
    ASSERT_TRUE(fgets(buffer, sizeof buffer, cli.out));
    kill(cli.pid, SIGINT);
    const std::string first = buffer;
    std::string all = first;
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, cli.out)) > 0;) all.append(buffer, n);
    fclose(cli.out);
    int status = 0;
    waitpid(cli.pid, &status, 0);
    EXPECT_NE(first.find("\"outcome\":\"converted\""), std::string::npos) << first;
    const std::size_t converted = Occurrences(all, "\"outcome\":\"converted\"");
    EXPECT_GE(converted, 1u);
    EXPECT_LT(converted, kDrawings);
    EXPECT_NE(all.find("{\"summary\":"), std::string::npos);
#endif
}

TEST_F(CliConvert, JsonLinesDescribeEveryFileAndTheSummary) {
    Bytes broken = ReadFile(src() / "plan1.jww");
    broken.resize(broken.size() / 2);
    WriteFile(src() / "sub" / "broken.jww", broken);
    const CommandResult run = CliStdout("convert --json -o " + Q(dir / "out") + " " + Q(src() / "sub") + " " +
                                        Q(src() / "plan0.jww"));
    EXPECT_EQ(run.status, 1);
    std::istringstream lines(run.out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 5u);  // broken, notes, part, plan0, summary
    EXPECT_EQ(objects[0]["outcome"], "failed");
    EXPECT_EQ(objects[0]["format"], "JWW");
    EXPECT_NE(objects[0]["reason"].get<std::string>().find("truncated at offset"), std::string::npos);
    EXPECT_FALSE(objects[0].contains("dest"));
    EXPECT_FALSE(objects[0].contains("backup"));
    EXPECT_EQ(objects[1]["outcome"], "skipped");
    EXPECT_TRUE(objects[1]["format"].is_null());
    EXPECT_FALSE(objects[1].contains("dest"));
    EXPECT_EQ(objects[2]["outcome"], "converted");
    EXPECT_EQ(objects[2]["format"], "JWS");
    EXPECT_EQ(objects[2]["version"], 300);
    EXPECT_EQ(objects[2]["written_version"], 351);
    EXPECT_EQ(objects[2]["dimensions"], 1);
    EXPECT_EQ(objects[2]["marked"], 1);
    EXPECT_EQ(objects[2]["already_marked"], 0);
    EXPECT_TRUE(objects[2]["reason"].is_null());
    EXPECT_EQ(objects[2]["changes"], (nlohmann::json{{"version-raised", 1}}));
    EXPECT_EQ(objects[3]["dest"], (dir / "out" / "plan0.jww").string());
    EXPECT_EQ(objects[3]["changes"], nlohmann::json::object());
    const auto& summary = objects[4]["summary"];
    EXPECT_EQ(summary["converted"], 2);
    EXPECT_EQ(summary["skipped"], 1);
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_EQ(summary["dimensions_marked"], objects[2]["marked"].get<int>() + objects[3]["marked"].get<int>());
    EXPECT_EQ(summary["normalised"], 1);
    EXPECT_GT(summary["bytes_in"].get<std::int64_t>(), 0);
    EXPECT_GT(summary["bytes_out"].get<std::int64_t>(), 0);
    EXPECT_TRUE(summary["seconds"].is_number());
    EXPECT_EQ(summary["dry_run"], false);

    // Plain words: what was read, what was written, and what the dimensions were.
    const CommandResult text = CliStdout("convert -o " + Q(dir / "again") + " " + Q(src() / "sub"));
    EXPECT_NE(text.out.find("part.jws (JWS 300, written as 351: 1 dimension, 1 newly marked; normalised: version "
                            "raised)\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("; 1 dimension marked, 1 drawing normalised; "), std::string::npos) << text.out;
}

// A drawing with bytes after its end fails as its own kind, with where it ends, and nothing of it
// is written; asked to, the command converts it without them and says so.
TEST_F(CliConvert, BytesAfterTheEndFailUnlessTheyAreToBeDropped) {
    Bytes drawing = ReadFile(src() / "plan0.jww");
    const std::size_t end = drawing.size();
    drawing.insert(drawing.end(), {'x', 'y', 'z'});
    fs::create_directories(dir / "in");
    WriteFile(dir / "in" / "tail.jww", drawing);
    const CommandResult refused = Cli("convert -o " + Q(dir / "out") + " " + Q(dir / "in" / "tail.jww"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("tail.jww: 3 bytes after the end of the drawing at offset " + std::to_string(end) +
                               " (--drop-trailing-bytes converts it without them)"),
              std::string::npos)
        << refused.out;
    EXPECT_FALSE(fs::exists(dir / "out" / "tail.jww"));
    const CommandResult json = CliStdout("convert --json -o " + Q(dir / "out") + " " + Q(dir / "in" / "tail.jww"));
    EXPECT_EQ(nlohmann::json::parse(json.out.substr(0, json.out.find('\n')))["kind"], "bytes-after-end");

    const CommandResult dropped =
        Cli("convert --drop-trailing-bytes -o " + Q(dir / "out") + " " + Q(dir / "in" / "tail.jww"));
    EXPECT_EQ(dropped.status, 0);
    EXPECT_NE(dropped.out.find("; normalised: bytes after the end dropped)"), std::string::npos) << dropped.out;
    EXPECT_NE(dropped.out.find("warning: " + (dir / "in" / "tail.jww").string() +
                               ": 3 bytes after the end of the drawing were not kept"),
              std::string::npos)
        << dropped.out;
    EXPECT_EQ(ReadFile(dir / "out" / "tail.jww").size(), end);
}

TEST_F(CliConvert, OldFilesKeptAsBackupsAreSaidAndARunAgainKeepsThem) {
    // DEST holds old drawings of both names; the run is run again, as after a kill.
    const std::string sources = Q(src() / "plan0.jww") + " " + Q(src() / "sub" / "part.jws");
    fs::create_directories(dir / "out");
    WriteFile(dir / "out" / "plan0.jww", {'o', 'l', 'd'});
    WriteFile(dir / "out" / "part.jws", {'o', 'l', 'd'});
    const CommandResult first = CliStdout("convert -o " + Q(dir / "out") + " " + sources);
    EXPECT_NE(first.out.find("; old file kept as " + (dir / "out" / "plan0.BAK").string() + ")\n"), std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("; 2 old files kept as .BAK; "), std::string::npos) << first.out;
    // Again: each destination holds its conversion already, so nothing is written and the old
    // drawings stay as .BAK.
    const CommandResult json = CliStdout("convert --json -o " + Q(dir / "out") + " " + sources);
    std::istringstream lines(json.out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]["outcome"], "up-to-date");
    EXPECT_EQ(objects[2]["summary"]["up_to_date"], 2);
    EXPECT_EQ(objects[2]["summary"]["backups"], 0);
    EXPECT_EQ(ReadFile(dir / "out" / "plan0.BAK"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(ReadFile(dir / "out" / "part.BAK"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(CliConvert, NulSeparatedListsCarryNamesWithLineBreaksInAndOut) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows forbids line breaks in file names";
#endif
    const Bytes good = ReadFile(src() / "plan0.jww");
    Bytes broken = good;
    broken.resize(broken.size() / 2);
    const fs::path odd = src() / "sub" / "two\nlines.jww";
    const fs::path bad = src() / "sub" / "bro\nken.jww";
    WriteFile(odd, good);
    WriteFile(bad, broken);
    std::string list;
    for (const fs::path& path : {odd, bad, src() / "plan1.jww"}) list += path.string() + '\0';
    WriteFile(dir / "list", Bytes(list.begin(), list.end()));

    // Each listed file goes where a walk of the SOURCE folder would put it.
    const std::string listed = " -q -o " + Q(dir / "out") + " " + Q(src());
    const CommandResult run =
        Cli("convert -0 --files-from " + Q(dir / "list") + " --failed-to " + Q(dir / "failed") + listed);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("quellmark-cli: failed: " + (src() / "sub").string() + "/bro\\x0aken.jww: truncated"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(Tree(dir / "out").size(), 2u);
    EXPECT_TRUE(fs::exists(dir / "out" / "sub" / "two\nlines.jww"));
    const std::string failed = bad.string() + '\0';
    EXPECT_TRUE(ReadFile(dir / "failed") == Bytes(failed.begin(), failed.end()));

    // The list of failures reruns just those.
    WriteFile(bad, good);
    const CommandResult again = Cli("convert -0 --files-from " + Q(dir / "failed") + listed);
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find("converted 1, "), std::string::npos) << again.out;
    EXPECT_TRUE(fs::exists(dir / "out" / "sub" / "bro\nken.jww"));
}

TEST_F(CliConvert, DryRunWritesNothing) {
    const CommandResult run = Cli("convert -n -r -o " + Q(dir / "out") + " " + Q(src()));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("would convert: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("dry run: would convert 8, skipped 1"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir / "out"));
    const CommandResult json = CliStdout("convert -n --json -o " + Q(dir / "out") + " " + Q(src()));
    EXPECT_NE(json.out.find("\"dry_run\":true"), std::string::npos) << json.out;
}

TEST_F(CliConvert, TheSameDestinationNameKeepsTheFirstAndFailsTheRestAsAClash) {
    fs::create_directories(dir / "other");
    JwwPlan plan;
    plan.memo = "second";
    WriteFile(dir / "other" / "plan0.jww", BuildJww(plan));
    const CommandResult run = Cli("convert -q -j 2 -o " + Q(dir / "out") + " " + Q(src() / "plan0.jww") + " " +
                                  Q(dir / "other" / "plan0.jww"));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find((fs::path("other") / "plan0.jww: ").string() + (src() / "plan0.jww").string()),
              std::string::npos)
        << run.out;
    EXPECT_FALSE(ReadFile(dir / "out" / "plan0.jww") == BuildJww(plan));
    EXPECT_FALSE(fs::exists(dir / "out" / "plan0.BAK"));
}

TEST_F(CliConvert, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Cli("convert " + Q(src())).status, 2);                                // no -o
    EXPECT_EQ(Cli("convert -o " + Q(dir / "out")).status, 2);                        // no source
    // A SOURCE that is not there is one file that fails; the batch goes on.
    const CommandResult missing =
        Cli("convert -o " + Q(dir / "out") + " " + Q(dir / "missing") + " " + Q(src() / "plan0.jww"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("missing: cannot open: no such file or directory"), std::string::npos) << missing.out;
    EXPECT_TRUE(fs::exists(dir / "out" / "plan0.jww"));
    EXPECT_EQ(Cli("convert -j 0 -o " + Q(dir / "out") + " " + Q(src())).status, 2);
    // The destination may not be a source folder, however it is spelled.
    const CommandResult same = Cli("convert -o " + Q(src() / "sub" / "..") + " " + Q(src()));
    EXPECT_EQ(same.status, 2);
    EXPECT_NE(same.out.find("is the source folder"), std::string::npos) << same.out;
    EXPECT_EQ(Cli("convert -o " + Q(src()) + " " + Q(src() / "plan0.jww")).status, 2);
    // With -r not inside one either; without -r that is fine.
    const CommandResult inside = Cli("convert -r -o " + Q(src() / "converted") + " " + Q(src()));
    EXPECT_EQ(inside.status, 2);
    EXPECT_NE(inside.out.find("lies inside the source folder"), std::string::npos) << inside.out;
    EXPECT_FALSE(fs::exists(src() / "converted"));
#ifndef _WIN32
    fs::create_directory_symlink(src(), dir / "alias");  // the same folder by another way
    const CommandResult linked = Cli("convert -r -o " + Q(dir / "alias" / "converted") + " " + Q(src()));
    EXPECT_EQ(linked.status, 2);
    EXPECT_NE(linked.out.find("lies inside the source folder"), std::string::npos) << linked.out;
#endif
    EXPECT_EQ(Cli("convert -q -o " + Q(src() / "converted") + " " + Q(src())).status, 0);
    WriteFile(dir / "file", {'x'});
    EXPECT_EQ(Cli("convert -o " + Q(dir / "file") + " " + Q(src())).status, 2);
}

TEST_F(CliConvert, AFolderInsideTheDestinationThatIsALinkIsNeverFollowed) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "victim");
    WriteFile(dir / "victim" / "part.jws", {'m', 'i', 'n', 'e'});
    WriteFile(dir / "victim" / "part.BAK", {'k', 'e', 'p', 't'});
    fs::create_directory_symlink(dir / "victim", dir / "out" / "sub");
    const CommandResult run = Cli("convert -r -q -o " + Q(dir / "out") + " " + Q(src()));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("symbolic link"), std::string::npos) << run.out;
    EXPECT_EQ(Tree(dir / "victim"),
              (std::map<std::string, Bytes>{{"part.jws", {'m', 'i', 'n', 'e'}}, {"part.BAK", {'k', 'e', 'p', 't'}}}));
    EXPECT_TRUE(fs::exists(dir / "out" / "plan0.jww"));  // the rest of the batch went on
}

TEST_F(CliConvert, OneRunAtATimeWritesIntoADestinationAndSweepsWhatKilledRunsLeft) {
    fs::create_directories(dir / "out");
    WriteFile(dir / "out" / ".qm-0123456789.tmp", {'x'});
    WriteFile(dir / "out" / ".plan0.jww.qm1-7.tmp", {'y'});
    WriteFile(dir / "out" / ".qm-keep.tmp", {'z'});  // not a name this program gives
    {
        HeldByAnotherRun live(dir / "out");
        const CommandResult refused = Cli("convert --no-wait -q -o " + Q(dir / "out") + " " + Q(src() / "plan0.jww"));
        EXPECT_EQ(refused.status, 2) << refused.out;
        EXPECT_NE(refused.out.find("another conversion is writing into"), std::string::npos) << refused.out;
        EXPECT_TRUE(fs::exists(dir / "out" / ".qm-0123456789.tmp"));  // a live run's files stay
    }
    const CommandResult run = Cli("convert -q -o " + Q(dir / "out") + " " + Q(src() / "plan0.jww"));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("removed 2 files that an interrupted run had left behind"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir / "out" / ".qm-0123456789.tmp"));
    EXPECT_FALSE(fs::exists(dir / "out" / ".plan0.jww.qm1-7.tmp"));
    EXPECT_TRUE(fs::exists(dir / "out" / ".qm-keep.tmp"));
}

TEST_F(CliConvert, TheListOfFailuresIsWrittenAtTheEndAndNeverOverADrawingOfTheBatch) {
    // Naming a source (or a destination) of the batch is refused before anything is touched.
    const Bytes plan = ReadFile(src() / "plan0.jww");
    const CommandResult source =
        Cli("convert -o " + Q(dir / "out") + " " + Q(src()) + " --failed-to " + Q(src() / "plan0.jww"));
    EXPECT_EQ(source.status, 2) << source.out;
    EXPECT_NE(source.out.find("names a drawing of this batch"), std::string::npos) << source.out;
    EXPECT_TRUE(ReadFile(src() / "plan0.jww") == plan);
    EXPECT_EQ(
        Cli("convert -o " + Q(dir / "out") + " " + Q(src()) + " --failed-to " + Q(dir / "out" / "plan1.jww")).status,
        2);
    // So is naming a backup the batch keeps: the old drawing there.
    EXPECT_EQ(
        Cli("convert -o " + Q(dir / "out") + " " + Q(src()) + " --failed-to " + Q(dir / "out" / "plan1.BAK")).status,
        2);
    EXPECT_FALSE(fs::exists(dir / "out"));

    // A run that never starts leaves the list there was as it was.
    WriteFile(dir / "failed", {'o', 'l', 'd'});
    fs::create_directories(dir / "out");
    {
        HeldByAnotherRun other(dir / "out");
        const CommandResult busy =
            Cli("convert --no-wait -o " + Q(dir / "out") + " " + Q(src()) + " --failed-to " + Q(dir / "failed"));
        EXPECT_EQ(busy.status, 2) << busy.out;
    }
    EXPECT_EQ(ReadFile(dir / "failed"), (Bytes{'o', 'l', 'd'}));

    // The same file listed twice is converted once, and nothing fails.
    const std::string twice = (src() / "plan2.jww").string() + "\n" + (src() / "plan2.jww").string() + "\n";
    WriteFile(dir / "twice", Bytes(twice.begin(), twice.end()));
    const CommandResult listed = Cli("convert --files-from " + Q(dir / "twice") + " --failed-to " + Q(dir / "failed") +
                                     " -o " + Q(dir / "out") + " " + Q(src()));
    EXPECT_EQ(listed.status, 0) << listed.out;
    EXPECT_NE(listed.out.find("converted 1, skipped 0, failed 0"), std::string::npos) << listed.out;
    EXPECT_TRUE(ReadFile(dir / "failed").empty());
    EXPECT_FALSE(fs::exists(dir / "out" / "plan2.BAK"));
}

TEST_F(CliConvert, EveryEntryOfAFolderCountsAndOutputThatCannotBeWrittenIsAFailure) {
#ifdef _WIN32
    GTEST_SKIP() << "needs fifos and /dev/full";
#else
    ASSERT_EQ(::mkfifo((src() / "pipe.jww").c_str(), 0600), 0);
    const CommandResult run = Cli("convert -q -o " + Q(dir / "out") + " " + Q(src()));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("pipe.jww: is not a regular file"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("converted 6, skipped 0, failed 1"), std::string::npos) << run.out;

    // A full disk under stdout: one message and status 1, whether the drawings converted or not.
    for (const char* args : {"convert -o ", "convert --json -o "}) {
        const CommandResult full = RunCommand(std::string(QUELLMARK_CLI) + " " + args + Q(dir / "full") + " " +
                                              Q(src() / "plan0.jww") + " 2>&1 >/dev/full");
        EXPECT_EQ(full.status, 1) << full.out;
        EXPECT_EQ(full.out, "quellmark-cli: cannot write the output: no space left on device\n");
    }
#endif
}

TEST_F(CliConvert, AFolderThatCannotBeReadIsAFailureEverywhereAndDebrisIsSaid) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX limits and attributes";
#else
    // A folder whose path is past what the system takes: in the counts, the JSON and the list.
    // Made a folder at a time from the one above, as a path that long cannot be given whole.
    const std::string part(250, 'x');
    int at = ::open(src().c_str(), O_RDONLY | O_DIRECTORY);
    for (std::size_t length = src().native().size(); length < 4200; length += part.size() + 1) {
        ASSERT_EQ(::mkdirat(at, part.c_str(), 0755), 0);
        const int next = ::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(at);
        at = next;
    }
    ::close(at);
    const CommandResult run =
        CliStdout("convert -r --json -o " + Q(dir / "out") + " " + Q(src()) + " --failed-to " + Q(dir / "failed"));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("\"kind\":\"cannot-read\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"failed\":1,"), std::string::npos) << run.out;
    const Bytes list = ReadFile(dir / "failed");
    EXPECT_GT(Occurrences(std::string(list.begin(), list.end()), part), 15u);  // the folder's whole path

    // What cannot be removed is said: an append-only DEST takes files but gives none back.
    fs::create_directories(dir / "append");
    if (std::system(("chattr +a " + Q(dir / "append") + " 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "no append-only folders here";
    }
    const CommandResult appended = Cli("convert -q -o " + Q(dir / "append") + " " + Q(src() / "plan0.jww"));
    (void)std::system(("chattr -a " + Q(dir / "append")).c_str());
    EXPECT_EQ(appended.status, 1) << appended.out;
    EXPECT_NE(appended.out.find("cannot remove " + (dir / "append").string() + "/.qm-"), std::string::npos)
        << appended.out;
#endif
}

TEST_F(CliConvert, ASignalEndsTheWaitForAnotherRun) {
#ifdef _WIN32
    GTEST_SKIP() << "needs fork and SIGTERM";
#else
    fs::create_directories(dir / "out");
    HeldByAnotherRun other(dir / "out");
    const StartedCli cli = StartCli({"convert", "-o", (dir / "out").string(), src().string()});
    ASSERT_TRUE(cli.out);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(cli.pid, SIGTERM);
    int status = 0;
    waitpid(cli.pid, &status, 0);
    fclose(cli.out);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 143);
    EXPECT_EQ(Tree(dir / "out").size(), 1u);  // the other run's mark alone
#endif
}

#ifndef _WIN32
namespace {

// An exFAT file system in a file, mounted through exfat-fuse while it lives, as a USB stick
// would be. That takes root, a loop device, /dev/fuse and the packages exfatprogs and
// exfat-fuse; where one is missing, `missing` says so and nothing is mounted.
class ExfatStick {
public:
    ExfatStick(const fs::path& image, const fs::path& at) : at_(at) {
        if (::geteuid() != 0) {
            missing = "mounting a file system needs root";
            return;
        }
        fs::create_directories(at);
        const std::string file = ShellWord(image);
        const CommandResult loop = RunCommand("truncate -s 8M " + file + " && mkfs.exfat " + file +
                                              " >/dev/null 2>&1 && losetup -f --show " + file + kDropStderr);
        loop_ = loop.out.substr(0, loop.out.find('\n'));
        if (loop.status != 0 || loop_.empty()) {
            missing = "no exFAT on a loop device here (exfatprogs, losetup)";
        } else if (RunCommand("mount.exfat-fuse " + loop_ + " " + ShellWord(at) + " >/dev/null 2>&1").status != 0) {
            missing = "exfat-fuse cannot mount here (exfat-fuse, /dev/fuse)";
        } else {
            mounted_ = true;
        }
    }
    ~ExfatStick() {
        if (mounted_) RunCommand("umount " + ShellWord(at_) + " || umount -l " + ShellWord(at_));
        if (!loop_.empty()) RunCommand("losetup -d " + loop_);
    }
    ExfatStick(const ExfatStick&) = delete;
    ExfatStick& operator=(const ExfatStick&) = delete;
    std::string missing;

private:
    fs::path at_;
    std::string loop_;
    bool mounted_ = false;
};

Bytes DrawingWithMemo(const std::string& memo) {
    JwwPlan plan;
    plan.memo = memo;
    plan.entities = {Dimension{}};
    return BuildJww(plan);
}

// Whether one of the files under the folder holds the bytes.
bool Kept(const fs::path& folder, const Bytes& bytes) {
    for (const auto& [name, held] : Tree(folder)) {
        if (held == bytes) return true;
    }
    return false;
}

// DEST on the temp folder's file system, with an exFAT stick mounted at DEST/stick.
class OnExfat : public ::testing::Test {
protected:
    void SetUp() override {
        if (!mount.missing.empty()) GTEST_SKIP() << mount.missing;
    }
    fs::path dest() const { return dir / "dest"; }
    fs::path stick() const { return dir / "dest" / "stick"; }
    std::string Q(const fs::path& p) const { return ShellWord(p); }

    TempDir dir;
    ExfatStick mount{dir / "stick.img", dir / "dest" / "stick"};
};

}  // namespace

TEST_F(OnExfat, TwoSourcesWhoseNamesExfatFoldsToOneKeepTheOldDrawing) {
    // Vietnamese, Roman numerals (in Shift-JIS too), Armenian, Greek with an accent, circled
    // letters, a digraph.
    const char* pairs[][2] = {{"ạ", "Ạ"}, {"ⅰ", "Ⅰ"}, {"ա", "Ա"}, {"ά", "Ά"}, {"ⓐ", "Ⓐ"}, {"ǆ", "Ǆ"}};
    fs::create_directories(dir / "src");
    fs::create_directories(stick() / "out");
    for (const auto& [lower, upper] : pairs) {
        WriteFile(dir / "src" / (std::string(lower) + ".jww"), DrawingWithMemo("first"));
        WriteFile(dir / "src" / (std::string(upper) + ".jww"), DrawingWithMemo("second"));
        WriteFile(stick() / "out" / (std::string(lower) + ".jww"), DrawingWithMemo(std::string("old ") + lower));
    }
    const CommandResult run = Cli("convert -j 1 -q -o " + Q(stick() / "out") + " " + Q(dir / "src"));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("converted 6, skipped 0, failed 6"), std::string::npos) << run.out;
    for (const auto& [lower, upper] : pairs) {
        EXPECT_TRUE(Kept(stick() / "out", DrawingWithMemo(std::string("old ") + lower))) << lower;
    }
}

TEST_F(OnExfat, AFileSystemMountedInsideTheDestinationIsAskedWhetherItFolds) {
    fs::create_directories(dir / "src" / "stick");
    WriteFile(dir / "src" / "stick" / "plan.jww", DrawingWithMemo("first"));
    WriteFile(dir / "src" / "stick" / "PLAN.JWW", DrawingWithMemo("second"));
    WriteFile(stick() / "plan.jww", DrawingWithMemo("old"));
    const CommandResult run = Cli("convert -r -j 1 -q -o " + Q(dest()) + " " + Q(dir / "src"));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("converted 1, skipped 0, failed 1"), std::string::npos) << run.out;
    EXPECT_TRUE(Kept(stick(), DrawingWithMemo("old")));
}

TEST_F(OnExfat, OneDrawingListedInTwoSpellingsIsConvertedOnce) {
    // exfat-fuse numbers the file anew for each spelling: only the folder's folding tells.
    fs::create_directories(stick() / "src");
    fs::create_directories(stick() / "out");
    WriteFile(stick() / "src" / "plan.jww", DrawingWithMemo("new"));
    WriteFile(stick() / "out" / "plan.jww", DrawingWithMemo("old"));
    const std::string list =
        (stick() / "src" / "plan.jww").string() + "\n" + (stick() / "src" / "PLAN.JWW").string() + "\n";
    WriteFile(dir / "list", Bytes(list.begin(), list.end()));
    const CommandResult run =
        Cli("convert -q --files-from " + Q(dir / "list") + " -o " + Q(stick() / "out") + " " + Q(stick() / "src"));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("converted 1, skipped 0, failed 0"), std::string::npos) << run.out;
    EXPECT_EQ(ReadFile(stick() / "out" / "plan.BAK"), DrawingWithMemo("old"));
}

TEST_F(OnExfat, TheListOfFailuresNamesNoDrawingOfTheBatchInAnotherSpelling) {
    fs::create_directories(stick() / "src");
    fs::create_directories(stick() / "out");
    WriteFile(stick() / "src" / "plan.jww", DrawingWithMemo("new"));
    WriteFile(stick() / "out" / "plan.jww", DrawingWithMemo("old"));
    // A source, a destination and a backup, each spelled otherwise.
    for (const fs::path& list :
         {stick() / "SRC" / "Plan.Jww", stick() / "out" / "PLAN.JWW", stick() / "OUT" / "plan.bak"}) {
        const CommandResult run =
            Cli("convert -o " + Q(stick() / "out") + " " + Q(stick() / "src") + " --failed-to " + Q(list));
        EXPECT_EQ(run.status, 2) << list << ": " << run.out;
    }
    EXPECT_EQ(ReadFile(stick() / "src" / "plan.jww"), DrawingWithMemo("new"));
    EXPECT_EQ(ReadFile(stick() / "out" / "plan.jww"), DrawingWithMemo("old"));
}

TEST_F(OnExfat, RunsIntoTwoSpellingsOfOneFolderMeetAndARefusedRunLeavesNoFolder) {
    fs::create_directories(stick() / "src");
    fs::create_directories(stick() / "out");
    WriteFile(stick() / "src" / "plan.jww", DrawingWithMemo("new"));
    {
        // out and OUT are one folder, which exfat-fuse numbers anew for each spelling.
        HeldByAnotherRun other(stick() / "out");
        const CommandResult busy =
            Cli("convert --no-wait -q -o " + Q(stick() / "OUT") + " " + Q(stick() / "src" / "plan.jww"));
        EXPECT_EQ(busy.status, 2) << busy.out;
        EXPECT_NE(busy.out.find("another conversion is writing into"), std::string::npos) << busy.out;
    }
    // A DEST inside the source's tree, spelled in another case: only a file made there tells, so
    // DEST is made first; the refusal takes it away again.
    const CommandResult inside = Cli("convert -r -q -o " + Q(stick() / "SRC" / "new") + " " + Q(stick() / "src"));
    EXPECT_EQ(inside.status, 2) << inside.out;
    // Listed, not looked up: the kernel keeps the looked-up spelling for a second after it went.
    for (const auto& entry : fs::directory_iterator(stick() / "src")) EXPECT_NE(entry.path().filename(), "new");
}

#endif
