// What Windows adds to the rules: spellings of one folder, names it forbids, long paths, and
// names outside the console's code page, seen through quellmark-cli as a user runs it.
#include "testkit.h"

#include <nlohmann/json.hpp>

#include <sstream>

#include <windows.h>

using namespace qmtest;

namespace {

CommandResult Cli(const std::string& args, bool withStderr = true) {
    return RunCommand(std::string(QUELLMARK_CLI) + " " + args + (withStderr ? " 2>&1" : kDropStderr));
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

TEST(WindowsPaths, OneFolderSpelledByCaseOrLongPrefixIsTheSameDestination) {
    TempDir dir;
    fs::create_directories(dir / "src");
    WriteFile(dir / "src" / "plan.jww", BuildJww(JwwPlan{}));
    const fs::path upper = Upper((dir / "src").string());
    const fs::path prefixed = L"\\\\?\\" + fs::absolute(dir / "src").native();
    quellmark::FileSystem& files = quellmark::RealFileSystem();
    auto identity = [&](const fs::path& path) {
        quellmark::FileIdentity id;
        EXPECT_FALSE(files.identify(path, id)) << path;
        return id;
    };
    EXPECT_EQ(identity(dir / "src"), identity(upper));
    EXPECT_EQ(identity(dir / "src"), identity(prefixed));
    EXPECT_NE(identity(dir / "src"), identity(dir.path()));
    const CommandResult run = Cli("convert -o " + ShellWord(upper) + " " + ShellWord(dir / "src"));
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.out.find("is the source folder"), std::string::npos) << run.out;
    // Nor may a tree's destination lie inside it under another spelling.
    for (const fs::path& inside : {upper / "out", prefixed / "out"}) {
        const CommandResult tree = Cli("convert -r -o " + ShellWord(inside) + " " + ShellWord(dir / "src"));
        EXPECT_EQ(tree.status, 2) << tree.out;
        EXPECT_NE(tree.out.find("lies inside the source folder"), std::string::npos) << tree.out;
    }
    EXPECT_FALSE(fs::exists(dir / "src" / "out"));
}

TEST(WindowsPaths, LongPathsTakeThePrefixThatFitsTheirKind) {
    const std::wstring tail = L"\\" + std::wstring(250, L'd') + L"\\plan.jww";
    EXPECT_EQ(quellmark::Win32Path(L"C:\\data" + tail), L"\\\\?\\C:\\data" + tail);
    EXPECT_EQ(quellmark::Win32Path(L"\\\\server\\share" + tail), L"\\\\?\\UNC\\server\\share" + tail);
    EXPECT_EQ(quellmark::Win32Path(L"//server/share" + tail), L"\\\\?\\UNC\\server\\share" + tail);
    EXPECT_EQ(quellmark::Win32Path(L"\\\\.\\C:\\data" + tail), L"\\\\?\\C:\\data" + tail);
    for (const std::wstring& prefixed : {L"\\\\?\\C:\\data" + tail, L"\\\\?\\UNC\\server\\share" + tail}) {
        EXPECT_EQ(quellmark::Win32Path(prefixed), prefixed);
    }
    EXPECT_EQ(quellmark::Win32Path(L"\\\\server\\share\\plan.jww"), L"\\\\server\\share\\plan.jww");
}

TEST(WindowsPaths, ADeviceNameFailsThatDrawingAndNothingReachesTheDevice) {
    // Such names come with files copied from other systems; only the \\?\ spelling reaches them.
    TempDir dir;
    const fs::path src = L"\\\\?\\" + fs::absolute(dir / "src").native();
    fs::create_directories(src / "aux");
    for (const char* name : {"con.jww", "Lpt1.jww", "nul .jww", "aux/detail.jww", "plan.jww"}) {
        WriteFile(src / fs::path(name).make_preferred(), BuildJww(JwwPlan{}));
    }
    const CommandResult run = Cli("convert -r --json -o " + ShellWord(dir / "out") + " " + ShellWord(src), false);
    EXPECT_EQ(run.status, 1) << run.out;
    std::map<std::string, nlohmann::json> byName;
    for (std::size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1) {
        const auto line = nlohmann::json::parse(run.out.substr(at, end - at));
        if (line.contains("path")) byName[fs::path(line["path"].get<std::string>()).filename().string()] = line;
    }
    EXPECT_EQ(byName["con.jww"]["reason"], "cannot write con.jww: Windows keeps the name CON for a device");
    EXPECT_EQ(byName["Lpt1.jww"]["reason"], "cannot write Lpt1.jww: Windows keeps the name LPT1 for a device");
    EXPECT_EQ(byName["nul .jww"]["kind"], "cannot-write");
    EXPECT_EQ(byName["detail.jww"]["reason"], "cannot write aux: Windows keeps the name AUX for a device");
    EXPECT_EQ(byName["plan.jww"]["outcome"], "converted");
    std::size_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "out")) written += entry.is_regular_file();
    EXPECT_EQ(written, 1u);
}

TEST(WindowsPaths, AForbiddenNameFailsThatFileAndTheBatchGoesOn) {
    TempDir dir;
    fs::create_directories(dir / "src");
    WriteFile(dir / "src" / "plan.jww", BuildJww(JwwPlan{}));
    const std::string list = (dir / "src" / "a|b.jww").string() + "\n" + (dir / "src" / "plan.jww").string() + "\n";
    WriteFile(dir / "list", Bytes(list.begin(), list.end()));
    const CommandResult run = Cli("convert --files-from " + ShellWord(dir / "list") + " -o " + ShellWord(dir / "out") +
                                  " " + ShellWord(dir / "src"));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("a|b.jww"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(dir / "out" / "plan.jww"));
}

TEST(WindowsPaths, ADrawingDeeperThanMaxPathIsConvertedAndItsJapaneseNameShown) {
    TempDir dir;
    fs::create_directories(dir / "src");
    const fs::path name = fs::path(u8"\u56f3\u9762.jww");  // 図面.jww
    WriteFile(dir / "src" / name, BuildJww(JwwPlan{}));
    fs::path deep = L"\\\\?\\" + fs::absolute(dir / "out").native();
    while (deep.native().size() < 300) deep /= std::string(40, 'd');
    fs::create_directories(deep);
    const fs::path plain = deep.native().substr(4);  // as a user types it, without the prefix
    const CommandResult run = Cli("convert --json -o " + ShellWord(plain) + " " + ShellWord(dir / "src"), false);
    EXPECT_EQ(run.status, 0) << run.out;
    const auto first = nlohmann::json::parse(run.out.substr(0, run.out.find('\n')));
    EXPECT_EQ(first["outcome"], "converted");
    const std::string shown = first["path"];
    EXPECT_TRUE(shown.ends_with("\xE5\x9B\xB3\xE9\x9D\xA2.jww")) << shown;  // UTF-8, whatever the code page
    EXPECT_TRUE(fs::exists(deep / name));
    EXPECT_GT(plain.native().size(), 260u);

    // The same tree as a source: walked down past MAX_PATH, mirrored, converted again.
    const CommandResult again = Cli("convert -r -o " + ShellWord(dir / "again") + " " + ShellWord(dir / "out"));
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find("converted 1, skipped 0, failed 0"), std::string::npos) << again.out;
    const std::wstring below = deep.native().substr(4 + fs::absolute(dir / "out").native().size());
    EXPECT_TRUE(fs::exists(L"\\\\?\\" + fs::absolute(dir / "again").native() + below + L"\\" + name.native()));
}

TEST(WindowsPaths, NamesThatDifferOnlyInCaseAreOneDestination) {
    TempDir dir;
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    WriteFile(dir / "a" / "plan.jww", BuildJww(JwwPlan{}));
    WriteFile(dir / "b" / "PLAN.JWW", BuildJww(JwwPlan{}));
    fs::create_directories(dir / "out");
    WriteFile(dir / "out" / "plan.jww", {'o', 'l', 'd'});
    const CommandResult run = Cli("convert -q -o " + ShellWord(dir / "out") + " " + ShellWord(dir / "a" / "plan.jww") +
                                  " " + ShellWord(dir / "b" / "PLAN.JWW"));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("is converted to the same name"), std::string::npos) << run.out;
    EXPECT_EQ(ReadFile(dir / "out" / "plan.BAK"), (Bytes{'o', 'l', 'd'}));
}

TEST(WindowsPaths, ADrawingOrDestinationOpenInAnotherProgramIsSaidToBeInUse) {
    TempDir dir;
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "out");
    WriteFile(dir / "a" / "open.jww", BuildJww(JwwPlan{}));
    WriteFile(dir / "a" / "dest.jww", BuildJww(JwwPlan{}));
    WriteFile(dir / "out" / "dest.jww", {'o', 'l', 'd'});
    // As a CAD program holds a drawing it shows: open, shared with no one.
    auto hold = [](const fs::path& path) {
        return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    const HANDLE source = hold(dir / "a" / "open.jww");
    const HANDLE dest = hold(dir / "out" / "dest.jww");
    ASSERT_NE(source, INVALID_HANDLE_VALUE);
    ASSERT_NE(dest, INVALID_HANDLE_VALUE);
    const CommandResult run = Cli("convert -q -o " + ShellWord(dir / "out") + " " + ShellWord(dir / "a"));
    ::CloseHandle(source);
    ::CloseHandle(dest);
    EXPECT_EQ(run.status, 1) << run.out;
    // Each failure line names its drawing and says why (a second name of the held destination
    // that cannot go meanwhile is a note of the run, swept by the next run).
    std::size_t said = 0;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("in use by another program") == std::string::npos) continue;
        if (line.find("open.jww") != std::string::npos || line.find("dest.jww") != std::string::npos) ++said;
    }
    EXPECT_GE(said, 2u) << run.out;
    EXPECT_EQ(ReadFile(dir / "out" / "dest.jww"), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(fs::exists(dir / "out" / "open.jww"));
}
