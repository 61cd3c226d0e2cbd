// Walking source folders: name order, hidden folders and links to folders left out of a
// recursive walk, and a count of everything left out.
#include "walk.h"

#include "../convert/replace.h"
#include "../platform/system.h"
#include "commands.h"
#include "shown.h"

#include <algorithm>

namespace quellmark::cli {

namespace fs = std::filesystem;

namespace {

bool IsHidden(const fs::path& name) { return PathText(name).starts_with("."); }

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// One folder of a walk under way: its entries in name order, and the next one to look at.
struct OpenFolder {
    fs::path path;
    fs::path relative;  // below the argument walked
    std::vector<FolderEntry> entries;
    std::size_t next = 0;
};

// Lists the folder in name order; a folder that cannot be listed is handed on or counted as
// unreadable, with whatever it gave.
OpenFolder Open(FileSystem& files, fs::path path, fs::path relative, const WalkOptions& options, const OnFile& onFile,
                WalkCounts& walk) {
    OpenFolder folder{std::move(path), std::move(relative), {}, 0};
    if (auto ec = files.listFolder(folder.path, folder.entries)) {
        if (options.unreadableFolders) {
            onFile({folder.path, folder.relative, 0, false, ec});
        } else {
            walk.unreadable.push_back(PathText(folder.path) + ": " + ErrorText(ec));
        }
    }
    std::sort(folder.entries.begin(), folder.entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return folder;
}

// Depth first with each folder's entries in name order: the files come in the order of their
// paths, compared folder by folder, with no list of them made.
void WalkFolder(FileSystem& files, const fs::path& top, const WalkOptions& options, const OnFile& onFile,
                WalkCounts& walk) {
    std::vector<OpenFolder> stack;
    stack.push_back(Open(files, top, {}, options, onFile, walk));
    while (!stack.empty()) {
        OpenFolder& folder = stack.back();
        if (folder.next == folder.entries.size()) {
            stack.pop_back();
            continue;
        }
        const FolderEntry entry = std::move(folder.entries[folder.next++]);
        const fs::path path = folder.path / entry.name;
        const fs::path relative = folder.relative / entry.name;
        if (entry.facts.kind != PathKind::Folder) {
            onFile({path, relative, entry.facts.size, false, {}});
        } else if (!options.recursive) {
            ++walk.foldersNotEntered;
        } else if (entry.facts.link) {
            ++walk.linksNotFollowed;  // a link can lead back up the tree
        } else if (IsHidden(entry.name) && !options.hidden) {
            ++walk.hiddenLeftOut;
        } else {
            stack.push_back(Open(files, path, relative, options, onFile, walk));
        }
    }
}

}  // namespace

WalkCounts WalkSources(FileSystem& files, const std::vector<fs::path>& arguments, const WalkOptions& options,
                       const OnFile& onFile) {
    WalkCounts walk;
    for (const fs::path& argument : arguments) {
        const PathFacts facts = files.examine(argument);
        if (facts.kind == PathKind::Folder) {
            WalkFolder(files, argument, options, onFile, walk);
        } else {
            onFile({argument, argument.filename(), facts.size, true, {}});
        }
    }
    return walk;
}

WalkCounts ListedFiles(FileSystem& files, const std::vector<std::string_view>& listed,
                       const std::vector<fs::path>& arguments, const WalkOptions& options, const OnFile& onFile) {
    WalkCounts walk;
    // Paths are made absolute and normal by their spelling alone (links are not resolved), from
    // the current folder taken once.
    const fs::path here = fs::current_path();
    auto spelled = [&](const fs::path& path) {
        fs::path absolute = (here / path).lexically_normal();
        if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
        return absolute;
    };
    struct Holder {
        fs::path spelled;
        fs::path name;  // a file argument's own name; empty for a folder
    };
    std::vector<Holder> holders;
    for (const fs::path& argument : arguments) {
        const bool folder = files.examine(argument).kind == PathKind::Folder;
        holders.push_back({spelled(argument), folder ? fs::path() : argument.filename()});
    }
    if (arguments.empty()) holders.push_back({spelled("."), {}});

    for (const std::string_view text : listed) {
        const fs::path path = PathFromText(text);
        const fs::path absolute = spelled(path);
        fs::path relative;
        for (const Holder& holder : holders) {
            if (holder.name.empty() ? IsWithin(absolute, holder.spelled, true) : absolute == holder.spelled) {
                relative = holder.name.empty() ? PathBelow(absolute, holder.spelled) : holder.name;
                break;
            }
        }
        if (relative.empty()) {
            throw UsageError("the listed " + Shown(text) + " lies in " +
                             (arguments.empty() ? "no folder below the current one; name the folder that holds it"
                                                : "none of the SOURCE folders or files"));
        }
        const PathFacts facts = files.examine(path);
        if (facts.kind != PathKind::Folder) {
            onFile({path, relative, facts.size, true, {}});
            continue;
        }
        WalkFolder(
            files, path, options,
            [&](const SourceFile& file) {
                SourceFile placed = file;
                placed.relative = relative / file.relative;
                onFile(placed);
            },
            walk);
    }
    return walk;
}

void ReportWalk(const WalkCounts& walk) {
    if (walk.foldersNotEntered > 0) {
        Complain(Count(walk.foldersNotEntered, "sub-folder", "sub-folders") + " not entered; -r enters them");
    }
    if (walk.hiddenLeftOut > 0) {
        Complain(Count(walk.hiddenLeftOut, "hidden folder", "hidden folders") +
                 " (names starting with \".\") left out; --hidden enters them");
    }
    if (walk.linksNotFollowed > 0) {
        Complain(Count(walk.linksNotFollowed, "link to a folder", "links to folders") + " not followed");
    }
    for (const std::string& folder : walk.unreadable) Complain("cannot read the folder " + Shown(folder));
}

}  // namespace quellmark::cli
