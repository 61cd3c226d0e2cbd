// quellmark-cli info, run as a user runs it: text and JSON output, reasons, exit statuses; and
// what every command shares: usage errors in the program's words, help, and the completion script.
#include "testkit.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <set>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace qmtest;

namespace {

CommandResult Cli(const std::string& args, bool withStderr = true) {
    return RunCommand(std::string(QUELLMARK_CLI) + " " + args + (withStderr ? " 2>&1" : kDropStderr));
}

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

}  // namespace

TEST(CliInfo, DescribesDrawingsOfEveryVersion) {
    TempDir dir;
    std::string args = "--json";
    for (std::int32_t v : {220, 223, 225, 230, 300, 351, 420, 600, 700}) {
        JwwPlan plan;
        plan.version = v;
        plan.memo = kSjisZumen + "\r\n";
        Dimension marked;
        marked.a.flags = 0x2000;
        marked.line.a.flags = 0x2000;
        marked.text.a.flags = 0x4000;
        plan.entities = {Line{}, Line{}, Dimension{}, marked, Text{}};
        plan.blocks = {BlockDef{{}, 1, 0, 0, "blk", {Dimension{}}}};
        if (v >= 700) {
            plan.images = {Image{"A.BMP", 5, {}}};
            plan.entities.push_back(Text{{}, {}, 0, {}, "", "^@BM%temp%a.bmp,1"});
        }
        const std::string name = "v" + std::to_string(v) + ".jww";
        WriteFile(dir / name, BuildJww(plan));
        args += " " + (dir / name).string();
    }
    const CommandResult run = Cli("info " + args, false);
    EXPECT_EQ(run.status, 0);
    const auto lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 9u);
    for (const auto& j : lines) {
        const int v = j["version"];
        SCOPED_TRACE(v);
        EXPECT_EQ(j["format"], "JWW");
        EXPECT_EQ(j["memo"], "\xE5\x9B\xB3\xE9\x9D\xA2\r\n");  // 図面 in UTF-8
        EXPECT_EQ(j["entities"]["lines"], 2);
        EXPECT_EQ(j["entities"]["dimensions"], 2);
        EXPECT_EQ(j["dimensions"], 3);
        // From 420 the marked one lacks its auxiliary and point bits.
        EXPECT_EQ(j["already_marked"], v >= 420 ? 0 : 1);
        EXPECT_EQ(j["blocks"][0]["members"], 1);
        if (v >= 700) {
            EXPECT_EQ(j["images"][0]["name"], "A.BMP");
            EXPECT_EQ(j["images"][0]["referenced"], true);
        }
    }
}

TEST(CliInfo, TextOutputEscapesControlBytes) {
    TempDir dir;
    JwwPlan plan;
    plan.memo = "line1\nline2\t" + kSjisZumen;
    WriteFile(dir / "a.jww", BuildJww(plan));
    const CommandResult run = Cli("info " + (dir / "a.jww").string());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("memo:       line1\\nline2\\t\xE5\x9B\xB3\xE9\x9D\xA2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("format:     JWW version 600"), std::string::npos);
}

TEST(CliInfo, RefusesBadInputWithTheReasonAndOffset) {
    TempDir dir;
    Out old;
    old.raw(std::string("JwwData."));
    old.i32(219);
    WriteFile(dir / "old.jww", old.b);
    JwwPlan plan;
    plan.entities = {Line{}};
    Bytes cut = BuildJww(plan);
    cut.resize(cut.size() - 10);
    WriteFile(dir / "cut.jww", cut);
    Bytes unknown = BuildJwwHeader(plan);
    Out tail;
    ArchiveOut archive(tail, 600);
    tail.count(1);
    archive.newClass("CDataFoo");
    tail.zeros(50);
    unknown.insert(unknown.end(), tail.b.begin(), tail.b.end());
    WriteFile(dir / "unknown.jww", unknown);
    Bytes huge = BuildJwwHeader(plan);
    huge.insert(huge.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
    WriteFile(dir / "huge.jww", huge);
    WriteFile(dir / "text.txt", {'h', 'i'});
    std::vector<std::string> names{"old.jww", "cut.jww", "unknown.jww", "huge.jww", "text.txt", "missing.jww"};
#ifndef _WIN32                                               // Windows has no fifos in the file system
    ASSERT_EQ(mkfifo((dir / "fifo.jww").c_str(), 0600), 0);  // must not wait for a writer
    names.push_back("fifo.jww");
#endif

    std::string args = "info --json";
    for (const std::string& name : names) args += " " + (dir / name).string();
    const CommandResult run = Cli(args, false);
    EXPECT_EQ(run.status, 1);
    const auto lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), names.size());
    EXPECT_EQ(lines[0]["error"], "version 219 is older than 220, the oldest version this program reads at offset 8 in the header");
    EXPECT_EQ(lines[0]["offset"], 8);
    EXPECT_NE(lines[1]["error"].get<std::string>().find("truncated at offset"), std::string::npos);
    EXPECT_NE(lines[2]["error"].get<std::string>().find("unknown class 'CDataFoo'"), std::string::npos);
    EXPECT_NE(lines[3]["error"].get<std::string>().find("entity count 2147483647 is more than"), std::string::npos)
        << lines[3]["error"];
    EXPECT_EQ(lines[4]["error"], "not a JWW or JWS drawing (no signature)");
    EXPECT_EQ(lines[5]["error"], "cannot open: no such file or directory");
    if (lines.size() > 6) {
        EXPECT_EQ(lines[6]["error"], "is not a regular file");
    }
    // In text, the counts end the output, as convert's summary does.
    const CommandResult text = Cli("info " + (dir / "old.jww").string() + " " + dir.path().string(), false);
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out, "described 0, failed " + std::to_string(names.size() - 1) +
                            "\n");  // the folder's drawings and old.jww again
}

TEST(CliUsage, EveryUsageErrorExitsWithTwoAndSaysWhy) {
    const std::pair<std::string, std::string> cases[] = {
        {"bogus", "quellmark-cli: unknown command 'bogus'; the commands are convert, info, preview and help"},
        {"", "quellmark-cli: no command given"},
        {"help bogus", "quellmark-cli: unknown command 'bogus'"},
        {"info", "quellmark-cli: no PATH given"},
        {"--bogus", "quellmark-cli: unknown option '--bogus'"},
        {"info --bogus x", "quellmark-cli: unknown option '--bogus'"},
        {"info -rz x", "quellmark-cli: unknown option '-z'"},
        {"convert -j abc -o out x", "quellmark-cli: -j needs a whole number from 1 to 256"},
        {"convert -o out -qj", "quellmark-cli: -j needs a value"},
        {"convert -o a --output=b x", "quellmark-cli: --output given twice"},
        {"convert x", "quellmark-cli: no destination given"},
        {"help convert info", "quellmark-cli: unexpected 'info'"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args);
        const CommandResult run = Cli(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out.find(message), 0u) << run.out;
        // Every usage error says where to read more, and that help is there.
        const std::size_t hint = run.out.find("Try 'quellmark-cli help");
        ASSERT_NE(hint, std::string::npos) << run.out;
        const std::size_t from = hint + std::string("Try 'quellmark-cli ").size();
        EXPECT_EQ(Cli(run.out.substr(from, run.out.find('\'', from) - from)).status, 0) << run.out;
    }
    // Help and the version are answers, not errors; each command's help shows an example.
    for (const char* args : {"help", "help convert", "help info", "help help", "convert --help", "-V", "--version"}) {
        SCOPED_TRACE(args);
        const CommandResult run = Cli(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find(std::string(args).starts_with("-") ? "quellmark-cli 1." : "\n  quellmark-cli "),
                  std::string::npos)
            << run.out;
    }
    // The usage lines show what a command cannot do without.
    EXPECT_NE(Cli("help convert").out.find("Usage: quellmark-cli convert [OPTIONS] -o DEST [SOURCE...]\n"),
              std::string::npos);
    EXPECT_NE(Cli("help info").out.find("Usage: quellmark-cli info [OPTIONS] PATH...\n"), std::string::npos);
}

#ifndef _WIN32
// The words of text that start with a dash.
std::set<std::string> Options(const std::string& text) {
    std::set<std::string> options;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (word.size() > 1 && word[0] == '-') options.insert(word);
    }
    return options;
}

// The options the option lists of the completion script offer in one of its branches ("convert)").
std::set<std::string> CompletedOptions(const std::string& script, const std::string& branch) {
    const std::size_t start = script.find("\n        " + branch + ")\n");
    if (start == std::string::npos) return {};
    const std::size_t end = script.find("\n            ;;", start);
    const std::string body = script.substr(start, end - start);
    std::string lists;
    for (std::size_t list = body.find("compgen -W '"); list != std::string::npos;
         list = body.find("compgen -W '", list + 1)) {
        const std::size_t from = list + 12;
        lists += body.substr(from, body.find('\'', from) - from) + " ";
    }
    return Options(lists);
}

// The options a help text lists: the first word of each line that starts with one ("  -o,--output").
std::set<std::string> HelpOptions(const std::string& help) {
    std::string names;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("  -")) continue;
        std::string first = line.substr(2, line.find(' ', 2) - 2);
        for (char& c : first) {
            if (c == ',') c = ' ';
        }
        names += first + " ";
    }
    return Options(names);
}

TEST(CliUsage, TheCompletionOffersEveryOptionTheHelpLists) {
    std::ifstream in(QUELLMARK_SOURCE_DIR "/packaging/quellmark-cli.bash");
    const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(script.empty());
    for (const auto& [command, branch] : {std::pair<std::string, std::string>{"", "\"\""},
                                          {"convert", "convert"},
                                          {"info", "info"},
                                          {"preview", "preview"}}) {
        SCOPED_TRACE(command.empty() ? "the program" : command);
        const CommandResult help = Cli("help " + command, false);
        ASSERT_EQ(help.status, 0);
        EXPECT_EQ(CompletedOptions(script, branch), HelpOptions(help.out));
    }
}
#endif
