// The window's help, its version and the folder it is given.
#include "WindowArguments.h"

#include "../platform/system.h"

namespace quellmark {

namespace {

constexpr const char* kHelp =
    "Usage: quellmark [FOLDER]\n"
    "Opens the window of Quellmark, which marks the dimensions of JWW and JWS drawings.\n"
    "FOLDER, when given, is the search folder: its tree of folders is shown at once.\n"
    "The window's texts are Japanese; man quellmark tells its menus in English too.\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "\n"
    "The same conversions from a shell or a script: quellmark-cli (man quellmark-cli).\n";

constexpr const char* kTakes = "; quellmark takes one FOLDER to search, --help or --version";

WindowStart Refused(std::string why) { return {WindowStart::Action::Refuse, {}, "quellmark: " + why + kTakes}; }

}  // namespace

WindowStart ReadWindowArguments(FileSystem& files, const std::vector<std::string>& arguments,
                                const std::string& version) {
    std::vector<std::string> folders;
    bool options = true;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (options && word == "--") {
            options = false;
        } else if (options && (word == "-h" || word == "--help")) {
            return {WindowStart::Action::Help, {}, kHelp};
        } else if (options && (word == "-V" || word == "--version")) {
            return {WindowStart::Action::Version, {}, "quellmark " + version + "\n"};
        } else if (options && word.size() > 1 && word[0] == '-') {
            return Refused("unknown option '" + word + "'");
        } else {
            folders.push_back(word);
        }
    }
    if (folders.empty()) return {};
    if (folders.size() > 1) return Refused("more than one folder given ('" + folders[1] + "')");
    const std::filesystem::path folder = PathFromText(folders.front());
    const PathFacts facts = files.examine(folder);
    if (facts.kind != PathKind::Folder) {
        const std::string why = facts.kind == PathKind::Missing && !facts.error ? "no such folder"
                                : facts.error                                   ? ErrorText(facts.error)
                                                                                : "not a folder";
        return Refused(folders.front() + ": " + why);
    }
    return {WindowStart::Action::Open, PathText(files.resolve(folder)), {}};
}

}  // namespace quellmark
