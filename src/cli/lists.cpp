// Reading and writing path lists.
#include "lists.h"

#include "../drawing/fs.h"
#include "commands.h"

#include <cerrno>
#include <system_error>

namespace quellmark::cli {

namespace {

std::string SystemError() { return ErrorText(std::error_code(errno, std::generic_category())); }

}  // namespace

std::vector<std::filesystem::path> ReadPathList(const std::string& file, bool nulSeparated) {
    const bool fromStdin = file == "-";
    std::FILE* in = fromStdin ? stdin : std::fopen(file.c_str(), "rb");
    if (!in) throw UsageError("cannot read the list " + file + ": " + SystemError());
    std::vector<std::filesystem::path> paths;
    const char separator = nulSeparated ? '\0' : '\n';
    std::string entry;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        for (std::size_t i = 0; i < n; ++i) {
            if (buffer[i] != separator) {
                entry += buffer[i];
            } else if (!entry.empty()) {
                paths.emplace_back(std::move(entry));
                entry.clear();
            }
        }
    }
    const bool failed = std::ferror(in) != 0;
    const std::string why = failed ? SystemError() : "";
    if (!fromStdin) std::fclose(in);
    if (failed) throw UsageError("cannot read the list " + file + ": " + why);
    if (!entry.empty()) paths.emplace_back(std::move(entry));
    return paths;
}

PathListWriter::PathListWriter(const std::string& file, bool nulSeparated)
    : name_(file), file_(std::fopen(file.c_str(), "wb")), separator_(nulSeparated ? '\0' : '\n') {
    if (!file_) throw UsageError("cannot create the list " + file + ": " + SystemError());
}

PathListWriter::~PathListWriter() {
    if (file_) std::fclose(file_);
}

void PathListWriter::Add(const std::filesystem::path& path) {
    const std::string text = path.string();
    if (separator_ == '\n' && text.find('\n') != std::string::npos) {
        ++leftOut_;
        return;
    }
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fputc(separator_, file_);
    std::fflush(file_);
}

bool PathListWriter::Close(std::string& reason) {
    const bool failed = std::ferror(file_) != 0;
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (failed || closed != 0) {
        reason = "cannot write the list " + name_ + (closed != 0 ? ": " + SystemError() : "");
        return false;
    }
    return true;
}

}  // namespace quellmark::cli
