// The files that source arguments stand for: a file as it is, a folder's files (with -r, its
// whole tree) in name order, and counts of the folders left out, so a command can say so.
// convert and info walk their arguments the same way through this; convert's --files-from
// places listed files the same way. Files are handed on one at a time, so a walk of a million
// files holds no list of them.
#pragma once

#include "../platform/files.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quellmark::cli {

struct SourceFile {
    std::filesystem::path path;      // the argument, or the folder argument joined with the names below it
    std::filesystem::path relative;  // below the folder argument it came from; a file argument's own name
    std::uintmax_t size = 0;         // bytes, as listed; 0 when unknown
    bool named = false;              // given as an argument or in a list, not found in a folder
    std::error_code unreadable;      // a folder that could not be listed (see WalkOptions)
};
using OnFile = std::function<void(const SourceFile&)>;

struct WalkOptions {
    bool recursive = false;  // enter the sub-folders
    bool hidden = false;     // with recursive, enter folders whose names start with "." too
    // Hand on each folder that cannot be listed, in its place and with its error, rather than
    // only counting it: a batch reports it as a failure, in every count and list.
    bool unreadableFolders = false;
};

struct WalkCounts {
    std::size_t foldersNotEntered = 0;  // sub-folders of a walk without recursive
    std::size_t hiddenLeftOut = 0;      // hidden sub-folders of a recursive walk
    std::size_t linksNotFollowed = 0;   // links to folders, which a recursive walk never enters
    std::vector<std::string>
        unreadable;  // "FOLDER: why" for each folder that could not be listed and was not handed on
};

// Hands on the files of the arguments, argument by argument, a folder's in name order. Every
// entry of a folder that is not a sub-folder counts (a fifo or a socket too: the command says
// what it is); anything that is not a folder (a missing path included) is passed on as a file
// the user named, and the command reading it says what is wrong with it.
WalkCounts WalkSources(FileSystem& fs, const std::vector<std::filesystem::path>& arguments, const WalkOptions& options,
                       const OnFile& onFile);

// Hands on the files of a list (--files-from), each placed as a walk of the argument that
// holds it would place it: below a folder argument by its path from there, or a file argument
// by its own name. Without arguments the current folder holds them. A listed folder (one an
// earlier run could not read, listed by --failed-to) is walked as the options say, its files
// placed below its own place. Throws UsageError for a listed path that no argument holds, as it
// would have no place in the destination.
WalkCounts ListedFiles(FileSystem& fs, const std::vector<std::string_view>& listed,
                       const std::vector<std::filesystem::path>& arguments, const WalkOptions& options,
                       const OnFile& onFile);

// One line on stderr for each kind of folder left out and each folder that could not be read.
void ReportWalk(const WalkCounts& walk);

}  // namespace quellmark::cli
