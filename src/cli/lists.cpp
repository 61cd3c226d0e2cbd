// Reading and writing path lists.
#include "lists.h"

#include "../convert/replace.h"
#include "../platform/system.h"
#include "commands.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace quellmark::cli {

namespace {

// Standard input to its end, with what went wrong.
std::error_code ReadStandardInput(std::string& text) {
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) text.append(buffer, n);
    return std::ferror(stdin) ? std::error_code(errno, std::generic_category()) : std::error_code{};
}

}  // namespace

void ReadPathList(FileSystem& files, const std::string& file, bool nulSeparated, PathList& list) {
    list = {};
    std::error_code ec;
    if (file == "-") {
        ec = ReadStandardInput(list.text);
    } else {
        FileBytes bytes;
        ec = ReadWholeFile(files, PathFromText(file), bytes);
        list.text.assign(bytes.begin(), bytes.end());
    }
    if (ec) throw UsageError("cannot read the list " + file + ": " + ErrorText(ec));
    const char separator = nulSeparated ? '\0' : '\n';
    std::string_view rest = list.text;
    while (!rest.empty()) {
        const std::size_t end = rest.find(separator);
        const std::string_view entry = rest.substr(0, end);
        if (!entry.empty()) list.entries.push_back(entry);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
}

FailedList::FailedList(std::filesystem::path file, bool nulSeparated)
    : file_(std::move(file)), separator_(nulSeparated ? '\0' : '\n') {}

void FailedList::Add(const std::filesystem::path& path) {
    const std::string text = PathText(path);
    if (separator_ == '\n' && text.find('\n') != std::string::npos) {
        ++leftOut_;
        return;
    }
    text_ += text;
    text_ += separator_;
}

bool FailedList::Write(FileSystem& files, const FolderHandle* folder, std::string& reason) const {
    const std::error_code ec = folder ? ReplaceFileIn(files, *folder, file_.filename(), text_)
                                      : std::make_error_code(std::errc::no_such_file_or_directory);
    if (ec) {
        reason = "cannot write the list " + PathText(file_) + ": " + ErrorText(ec);
        return false;
    }
    return true;
}

}  // namespace quellmark::cli
