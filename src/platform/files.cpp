// What every system's file system offers built from its calls: a whole file read, a chain of
// folders made, a folder tree removed.
#include "files.h"

#include <algorithm>

namespace quellmark {

namespace fs = std::filesystem;

std::error_code ReadWholeFile(FileSystem& files, const fs::path& path, FileBytes& out, std::size_t limit) {
    out.clear();
    std::unique_ptr<InputFile> in;
    if (auto ec = files.openRead(path, in)) return ec;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(in->size(), limit));
    try {
        out.resize(want);
    } catch (const std::bad_alloc&) {
        return std::make_error_code(std::errc::not_enough_memory);
    }
    std::size_t got = 0;
    while (got < want) {
        std::size_t n = 0;
        if (auto ec = in->read(std::span(out).subspan(got), n)) {
            out.clear();
            return ec;
        }
        if (n == 0) break;  // the file shrank while it was read
        got += n;
    }
    out.resize(got);
    return {};
}

std::string ReadText(InputFile& in, std::size_t limit) {
    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(in.size(), limit)), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        std::size_t n = 0;
        if (in.read({reinterpret_cast<std::uint8_t*>(text.data()) + got, text.size() - got}, n) || n == 0) break;
        got += n;
    }
    text.resize(got);
    return text;
}

std::error_code CreateFolders(FileSystem& files, const fs::path& path) {
    const PathFacts facts = files.examine(path);
    if (facts.kind == PathKind::Folder) return {};
    if (facts.kind != PathKind::Missing) return std::make_error_code(std::errc::not_a_directory);
    if (facts.error) return facts.error;
    const fs::path parent = path.parent_path();
    if (!parent.empty() && parent != path && path.has_relative_path()) {
        if (const std::error_code ec = CreateFolders(files, parent)) return ec;
    }
    const std::error_code ec = files.createDirectory(path);
    return ec && files.examine(path).kind == PathKind::Folder ? std::error_code{} : ec;
}

std::error_code RemoveTree(FileSystem& files, const fs::path& folder) {
    std::vector<FolderEntry> entries;
    std::error_code first = files.listFolder(folder, entries);
    auto keep = [&](std::error_code ec) {
        if (ec && !first) first = ec;
    };
    for (const FolderEntry& entry : entries) {
        const fs::path path = folder / entry.name;
        if (entry.facts.kind == PathKind::Folder && !entry.facts.link) {
            keep(RemoveTree(files, path));
        } else if (const std::error_code ec = files.remove(path)) {
            // A link to a folder that goes only as a folder does (a junction on Windows).
            keep(entry.facts.kind == PathKind::Folder ? files.removeDirectory(path) : ec);
        }
    }
    keep(files.removeDirectory(folder));
    return first;
}

}  // namespace quellmark
