// Lists of paths in and out of convert: one path a line, or with -0 each path ended by a NUL
// byte (as `find -print0` writes them), which holds any name, line breaks included.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace quellmark::cli {

// The paths of the list in FILE ("-": standard input); empty entries are passed over. Throws
// UsageError when the list cannot be read.
std::vector<std::filesystem::path> ReadPathList(const std::string& file, bool nulSeparated);

// Writes paths to a list file as they come, each one flushed, so a run that is killed still
// leaves the paths it had written.
class PathListWriter {
public:
    // Creates (or empties) FILE; throws UsageError when it cannot.
    PathListWriter(const std::string& file, bool nulSeparated);
    ~PathListWriter();
    PathListWriter(const PathListWriter&) = delete;
    PathListWriter& operator=(const PathListWriter&) = delete;

    // A path holding a line break cannot stand in a list of lines; it is left out and counted.
    void Add(const std::filesystem::path& path);
    // Closes the file; false with the reason when something could not be written.
    bool Close(std::string& reason);
    std::size_t leftOut() const { return leftOut_; }

private:
    std::string name_;
    std::FILE* file_;
    char separator_;
    std::size_t leftOut_ = 0;
};

}  // namespace quellmark::cli
