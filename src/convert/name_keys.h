// The keys under which names meet on the disk: two paths with one key may be one file. Each
// name of a path is folded to one letter case where the folder that holds it folds case, so a
// run asks every folder it writes into (a folding file system mounted inside DEST too), not DEST
// alone.
#pragma once

#include "../platform/files.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_map>

namespace quellmark {

// Asks each folder once, and a file system that folds or keeps case as a whole once; a folder
// not there yet folds as the nearest folder above it that is. Keys compare only paths spelled
// alike (both relative to one current folder, or both absolute). Safe to use from several threads.
class NameKeys {
public:
    // writable: the folder (spelled as the paths asked about spell it) in and below which a probe
    // file may be made where nothing else tells; empty: none. Elsewhere a folder is only read.
    // unknownFolds: what a folder that cannot tell is taken to do; folding where unsure makes a
    // clash of two names that might be one file, keeping case takes two such files for two.
    NameKeys(FileSystem& files, const std::filesystem::path& writable, bool unknownFolds);

    // The key of the path: its folder's key, then its own name, folded where that folder folds.
    std::string key(const std::filesystem::path& path);

private:
    struct Folder {
        std::string key;
        bool folds = false;
        bool writable = false;  // the writable folder or one below it
    };
    const Folder& folder(const std::filesystem::path& path);
    bool ask(const std::filesystem::path& folder, bool mayWrite, bool inherited);

    FileSystem& files_;
    const std::filesystem::path writable_;
    const bool unknownFolds_;
    std::mutex mutex_;
    std::unordered_map<std::filesystem::path::string_type, Folder> folders_;
    std::unordered_map<std::uint64_t, bool> devices_;  // the answers of whole file systems
};

}  // namespace quellmark
