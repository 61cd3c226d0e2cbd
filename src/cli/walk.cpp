// Walking source folders: name order, hidden folders and links to folders left out of a
// recursive walk, and a count of everything left out.
#include "walk.h"

#include "../convert/replace.h"

#include "../convert/convert.h"
#include "../drawing/fs.h"
#include "commands.h"
#include "shown.h"

#include <algorithm>

namespace quellmark::cli {

namespace fs = std::filesystem;

namespace {

bool IsHidden(const fs::path& folder) { return folder.filename().string().starts_with("."); }

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Lists the folder's files into `files`, and its sub-folders into `folders` when they are to be
// entered; counts the others.
void ListOneFolder(const fs::path& folder, const fs::path& top, const WalkOptions& options,
                   std::vector<SourceFile>& files, std::vector<fs::path>& folders, Walk& walk) {
    std::vector<FolderEntry> entries;
    const std::error_code ec = ListFolder(folder, entries);
    for (const FolderEntry& entry : entries) {
        const fs::path path = folder / entry.name;
        if (entry.facts.kind == PathKind::Folder) {
            if (!options.recursive) {
                ++walk.foldersNotEntered;
            } else if (entry.facts.link) {
                ++walk.linksNotFollowed;  // a link can lead back up the tree
            } else if (IsHidden(path) && !options.hidden) {
                ++walk.hiddenLeftOut;
            } else {
                folders.push_back(path);
            }
        } else if (entry.facts.kind == PathKind::File) {
            files.push_back({path, PathBelow(path, top), entry.facts.size, false});
        }
    }
    if (ec) walk.unreadable.push_back(folder.string() + ": " + ErrorText(ec));
}

}  // namespace

Walk WalkSources(const std::vector<fs::path>& arguments, const WalkOptions& options) {
    Walk walk;
    for (const fs::path& argument : arguments) {
        const PathFacts facts = Examine(argument);
        if (facts.kind != PathKind::Folder) {
            walk.files.push_back({argument, argument.filename(), facts.size, true});
            continue;
        }
        std::vector<SourceFile> files;
        std::vector<fs::path> folders{argument};
        while (!folders.empty()) {
            const fs::path folder = std::move(folders.back());
            folders.pop_back();
            ListOneFolder(folder, argument, options, files, folders, walk);
        }
        std::sort(files.begin(), files.end(),
                  [](const SourceFile& a, const SourceFile& b) { return a.path < b.path; });
        walk.files.insert(walk.files.end(), std::make_move_iterator(files.begin()),
                          std::make_move_iterator(files.end()));
    }
    return walk;
}

namespace {

// The path from the root, made absolute and normal by its spelling alone (links are not
// resolved), without a trailing separator.
fs::path Spelled(const fs::path& path) {
    fs::path absolute = fs::absolute(path).lexically_normal();
    if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
    return absolute;
}

}  // namespace

Walk ListedFiles(const std::vector<fs::path>& listed, const std::vector<fs::path>& arguments) {
    struct Holder {
        fs::path spelled;
        fs::path name;  // a file argument's own name; empty for a folder
    };
    std::vector<Holder> holders;
    for (const fs::path& argument : arguments) {
        holders.push_back({Spelled(argument), Examine(argument).kind == PathKind::Folder ? fs::path() : argument.filename()});
    }
    if (arguments.empty()) holders.push_back({Spelled("."), {}});

    Walk walk;
    walk.files.reserve(listed.size());
    for (const fs::path& path : listed) {
        const fs::path spelled = Spelled(path);
        fs::path relative;
        for (const Holder& holder : holders) {
            if (holder.name.empty() ? IsWithin(spelled, holder.spelled, true) : spelled == holder.spelled) {
                relative = holder.name.empty() ? PathBelow(spelled, holder.spelled) : holder.name;
                break;
            }
        }
        if (relative.empty()) {
            throw UsageError("the listed " + Shown(path.string()) + " lies in " +
                             (arguments.empty() ? "no folder below the current one; name the folder that holds it"
                                                : "none of the SOURCE folders or files"));
        }
        walk.files.push_back({path, relative, Examine(path).size, true});
    }
    return walk;
}

void ReportWalk(const Walk& walk) {
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
    for (const std::string& folder : walk.unreadable) Complain("cannot read the folder " + folder);
}

}  // namespace quellmark::cli
