// The temp file beside the destination, the ".BAK" of the old file, and the rename that puts the
// new drawing in place, each step undone when a later one fails.
#include "replace.h"

#include "../drawing/drawing_file.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

std::atomic<std::uint64_t> gTempNumber{0};

// A name beside dest that no other file has: hidden, and marked as ours.
fs::path TempPathBeside(const fs::path& dest) {
    return dest.parent_path() / ("." + dest.filename().string() + ".qm" +
                                 std::to_string(ProcessId()) + "-" +
                                 std::to_string(++gTempNumber) + ".tmp");
}

std::string Name(const fs::path& path) { return path.filename().string(); }

// Makes sure the folder a drawing goes into is there. Only folders below `root` are made, and
// only while root itself is there: a destination that disappeared is reported, not re-created.
std::error_code EnsureFolder(FileSystem& files, const fs::path& folder, const fs::path& root) {
    if (files.isDirectory(folder)) return {};
    if (root.empty() || !IsWithin(folder, root, true) || !files.isDirectory(root)) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (auto ec = EnsureFolder(files, folder.parent_path(), root)) return ec;
    auto ec = files.createDirectory(folder);
    if (ec && files.isDirectory(folder)) return {};  // made by another job meanwhile
    return ec;
}

void Set(Failure* failure, FailureKind kind, std::string detail, std::error_code ec) {
    if (failure) *failure = MakeFailure(kind, std::move(detail), -1, Section::None, ec);
}

}  // namespace

bool IsWithin(const fs::path& inner, const fs::path& outer, bool strictly) {
    // Components of the paths as written, without the empty one a trailing separator leaves.
    auto parts = [](const fs::path& p) {
        std::vector<fs::path> list;
        for (const fs::path& part : p.lexically_normal()) {
            if (!part.empty()) list.push_back(part);
        }
        return list;
    };
    const std::vector<fs::path> in = parts(inner);
    const std::vector<fs::path> out = parts(outer);
    if (in.size() < out.size() || (strictly && in.size() == out.size())) return false;
    return std::equal(out.begin(), out.end(), in.begin());
}

fs::path BackupPath(const fs::path& dest) {
    const std::string name = Name(dest);
    const std::size_t dot = name.rfind('.');
    return dest.parent_path() / ((dot == std::string::npos ? name : name.substr(0, dot)) + ".BAK");
}

bool BackupExisting(FileSystem& files, const fs::path& dest, BackupRecord& record, Failure* failure) {
    record = BackupRecord{dest, BackupPath(dest), {}, false};
    if (!files.isFile(dest)) return true;
    auto fail = [&](const std::string& why, std::error_code ec) {
        Set(failure, FailureKind::CannotKeepBackup,
            "cannot keep the old file as " + Name(record.backup) + ": " + why, ec);
        return false;
    };
    // The older backup only goes once the new drawing stands, so every failure can be undone.
    if (files.isFile(record.backup)) {
        const fs::path aside = TempPathBeside(record.backup);
        if (auto ec = files.rename(record.backup, aside)) {
            return fail("cannot move the older one aside: " + ErrorText(ec), ec);
        }
        record.aside = aside;
    }
    if (auto ec = files.rename(dest, record.backup)) {
        RestoreBackup(files, record);
        return fail(ErrorText(ec), ec);
    }
    record.moved = true;
    return true;
}

void RestoreBackup(FileSystem& files, const BackupRecord& record) {
    if (record.moved) (void)files.rename(record.backup, record.dest);
    if (!record.aside.empty()) (void)files.rename(record.aside, record.backup);
}

void CompleteBackup(FileSystem& files, const BackupRecord& record) {
    if (!record.aside.empty()) (void)files.remove(record.aside);
}

bool ReplaceWith(FileSystem& files, const fs::path& dest, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, Failure* failure) {
    if (auto ec = EnsureFolder(files, dest.parent_path(), settings.createFoldersBelow)) {
        Set(failure, FailureKind::CannotWrite,
            "cannot write into " + dest.parent_path().string() + ": " + ErrorText(ec), ec);
        return false;
    }
    const fs::path temp = TempPathBeside(dest);
    WriteSettings writeSettings;
    writeSettings.sync = settings.sync;
    writeSettings.exclusive = true;
    writeSettings.bytesWritten = &bytesOut;
    // The temp file's name means nothing to the user; a failure names the drawing it stood for.
    writeSettings.shownName = "a temporary file beside " + Name(dest);
    if (!write(temp, writeSettings, failure)) return false;

    BackupRecord backup;
    if (!BackupExisting(files, dest, backup, failure)) {
        (void)files.remove(temp);
        return false;
    }
    if (auto ec = files.rename(temp, dest)) {
        RestoreBackup(files, backup);
        (void)files.remove(temp);
        Set(failure, FailureKind::CannotWrite, "cannot replace " + Name(dest) + ": " + ErrorText(ec), ec);
        return false;
    }
    CompleteBackup(files, backup);
    if (settings.sync) (void)files.syncDirectory(dest.parent_path());
    return true;
}

}  // namespace quellmark
