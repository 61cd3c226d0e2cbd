// The install rules, run as the package build runs them: into a scratch root (DESTDIR), with
// every file the rules list there, the programs runnable from it, and each package's part
// holding its own files. (scripts/check-packages checks the .debs themselves.)
#include "testkit.h"

#include <fstream>
#include <set>

using namespace qmtest;

TEST(Install, PutsEveryListedFileIntoAScratchRoot) {
    TempDir root;
    const CommandResult install =
        RunCommand("DESTDIR='" + root.path().string() +
                   "' '" CMAKE_COMMAND "' --install '" QUELLMARK_BUILD_DIR "' --prefix /usr 2>&1");
    ASSERT_EQ(install.status, 0) << install.out;

    std::set<std::string> listed;
    std::ifstream manifest(QUELLMARK_BUILD_DIR "/install_manifest.txt");
    for (std::string line; std::getline(manifest, line);) {
        if (line.empty()) continue;
        listed.insert(line);
        EXPECT_TRUE(fs::is_regular_file(root.path() / fs::path(line).relative_path())) << line;
    }
    const std::set<std::string> cli = {"/usr/bin/quellmark-cli",
                                       "/usr/share/man/man1/quellmark-cli.1.gz",
                                       "/usr/share/bash-completion/completions/quellmark-cli",
                                       "/usr/share/doc/quellmark-cli/copyright",
                                       "/usr/share/doc/quellmark-cli/changelog.gz",
                                       "/usr/share/doc/quellmark-cli/README.md.gz"};
    const std::set<std::string> window = {"/usr/bin/quellmark",
                                          "/usr/share/man/man1/quellmark.1.gz",
                                          "/usr/share/applications/quellmark.desktop",
                                          "/usr/share/icons/hicolor/scalable/apps/quellmark.svg",
                                          "/usr/share/doc/quellmark/copyright",
                                          "/usr/share/doc/quellmark/changelog.gz"};
    std::set<std::string> expected = cli;
    if (QUELLMARK_GUI_BUILT) expected.insert(window.begin(), window.end());
    EXPECT_EQ(listed, expected);

    // The command line's part alone: what its package holds, nothing of the window.
    TempDir cliRoot;
    const CommandResult part =
        RunCommand("DESTDIR='" + cliRoot.path().string() +
                   "' '" CMAKE_COMMAND "' --install '" QUELLMARK_BUILD_DIR "' --prefix /usr --component cli 2>&1");
    ASSERT_EQ(part.status, 0) << part.out;
    std::set<std::string> inPart;
    for (const auto& entry : fs::recursive_directory_iterator(cliRoot.path())) {
        if (entry.is_regular_file()) inPart.insert("/" + entry.path().lexically_relative(cliRoot.path()).string());
    }
    EXPECT_EQ(inPart, cli);

    const CommandResult version = RunCommand("'" + (root.path() / "usr/bin/quellmark-cli").string() + "' --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quellmark-cli 1.", 0), 0u) << version.out;
    const Bytes manpage = ReadFile(root.path() / "usr/share/man/man1/quellmark-cli.1.gz");
    ASSERT_GE(manpage.size(), 2u);
    EXPECT_TRUE(manpage[0] == 0x1F && manpage[1] == 0x8B);  // gzip, as man expects
}
