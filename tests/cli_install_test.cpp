// The install rules, run as the package build runs them: into a scratch root (DESTDIR), with
// every file the rules list there, and the programs runnable from it.
#include "testkit.h"

#include <fstream>
#include <set>

using namespace qmtest;

TEST(Install, PutsEveryListedFileIntoAScratchRoot) {
    TempDir root;
    const CommandResult install = RunCommand("DESTDIR='" + root.path().string() + "' '" CMAKE_COMMAND
                                             "' --install '" QUELLMARK_BUILD_DIR "' --prefix /usr 2>&1");
    ASSERT_EQ(install.status, 0) << install.out;

    std::set<std::string> listed;
    std::ifstream manifest(QUELLMARK_BUILD_DIR "/install_manifest.txt");
    for (std::string line; std::getline(manifest, line);) {
        if (line.empty()) continue;
        listed.insert(line);
        EXPECT_TRUE(fs::is_regular_file(root.path() / fs::path(line).relative_path())) << line;
    }
    std::set<std::string> expected = {"/usr/bin/quellmark-cli", "/usr/share/man/man1/quellmark-cli.1.gz",
                                      "/usr/share/bash-completion/completions/quellmark-cli"};
    if (QUELLMARK_GUI_BUILT) {
        expected.insert({"/usr/bin/quellmark", "/usr/share/applications/quellmark.desktop",
                         "/usr/share/icons/hicolor/scalable/apps/quellmark.svg"});
    }
    EXPECT_EQ(listed, expected);

    const CommandResult version = RunCommand("'" + (root.path() / "usr/bin/quellmark-cli").string() + "' --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quellmark-cli 1.", 0), 0u) << version.out;
    const Bytes manpage = ReadFile(root.path() / "usr/share/man/man1/quellmark-cli.1.gz");
    ASSERT_GE(manpage.size(), 2u);
    EXPECT_TRUE(manpage[0] == 0x1F && manpage[1] == 0x8B);  // gzip, as man expects
}
