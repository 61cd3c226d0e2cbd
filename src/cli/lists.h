// Lists of paths in and out of convert: one path a line, or with -0 each path ended by a NUL
// byte (as `find -print0` writes them), which holds any name, line breaks included.
#pragma once

#include "../platform/files.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quellmark::cli {

// The list in FILE ("-": standard input), as read, and its entries (views into the text);
// empty entries are passed over. Throws UsageError when the list cannot be read.
struct PathList {
    std::string text;
    std::vector<std::string_view> entries;
};
void ReadPathList(FileSystem& fs, const std::string& file, bool nulSeparated, PathList& list);

// The paths of the drawings that failed or were not started, kept as the batch goes and written
// at its end in one piece through a temp file that then takes the list's name: a run that is
// killed, or never starts, leaves the list that was there as it was.
class FailedList {
public:
    FailedList(std::filesystem::path file, bool nulSeparated);
    // A path holding a line break cannot stand in a list of lines; it is left out and counted.
    void Add(const std::filesystem::path& path);
    // Writes the list into its folder, held open (null: the folder is not there); false with the
    // reason when it cannot.
    bool Write(FileSystem& fs, const FolderHandle* folder, std::string& reason) const;
    const std::filesystem::path& file() const { return file_; }
    std::size_t leftOut() const { return leftOut_; }

private:
    std::filesystem::path file_;
    char separator_;
    std::string text_;
    std::size_t leftOut_ = 0;
};

}  // namespace quellmark::cli
