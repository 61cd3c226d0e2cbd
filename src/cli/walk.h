// The files that source arguments stand for: a file as it is, a folder's files (with -r, its
// whole tree) in name order, and counts of the folders left out, so a command can say so.
// convert and info walk their arguments the same way through this; convert's --files-from
// places listed files the same way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quellmark::cli {

struct SourceFile {
    std::filesystem::path path;      // the argument, or the folder argument joined with the names below it
    std::filesystem::path relative;  // below the folder argument it came from; a file argument's own name
    std::uintmax_t size = 0;         // bytes, as listed; 0 when unknown
    bool named = false;              // given as an argument itself, not found in a folder
};

struct WalkOptions {
    bool recursive = false;  // enter the sub-folders
    bool hidden = false;     // with recursive, enter folders whose names start with "." too
};

struct Walk {
    std::vector<SourceFile> files;  // argument by argument; a folder's files sorted by path
    std::size_t foldersNotEntered = 0;  // sub-folders of a walk without recursive
    std::size_t hiddenLeftOut = 0;      // hidden sub-folders of a recursive walk
    std::size_t linksNotFollowed = 0;   // links to folders, which a recursive walk never enters
    std::vector<std::string> unreadable;  // "FOLDER: why" for each folder that could not be listed
};

// Anything that is not a folder (a missing path included) is passed on as a file; the command
// reading it says what is wrong with it.
Walk WalkSources(const std::vector<std::filesystem::path>& arguments, const WalkOptions& options);

// The files of a list (--files-from), each placed as a walk of the argument that holds it would
// place it: below a folder argument by its path from there, or a file argument by its own
// name. Without arguments the current folder holds them. Throws UsageError for a listed path
// that no argument holds, as it would have no place in the destination.
Walk ListedFiles(const std::vector<std::filesystem::path>& listed,
                 const std::vector<std::filesystem::path>& arguments);

// One line on stderr for each kind of folder left out and each folder that could not be read.
void ReportWalk(const Walk& walk);

}  // namespace quellmark::cli
