// The temp file beside the destination, the ".BAK" of the old file, and the rename that puts the
// new drawing in place, each step undone when a later one fails. Where the file system has hard
// links, the destination name holds the old or the new complete drawing at every instant, and
// ".BAK" the old backup or the old drawing, so a crash between two steps loses nothing.
#include "replace.h"

#include "../drawing/drawing_file.h"

#include <algorithm>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

// A hidden name beside dest, short and random and never derived from the drawing's name, so
// any name the file system allows converts: ".qm-" + 10 letters or digits + ".tmp". The files
// are created exclusively, so a name that is taken fails that step instead of meeting a file.
fs::path TempPathBeside(const fs::path& dest) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}() ^
                                        (static_cast<std::uint64_t>(ProcessId()) << 32)};
    std::string name = ".qm-";
    for (int i = 0; i < 10; ++i) name += kAlphabet[random() % (sizeof kAlphabet - 1)];
    return dest.parent_path() / (name + ".tmp");
}

// Hard links that the file system does not offer at all, as opposed to one that failed.
bool LinksUnsupported(std::error_code ec) {
    return ec == std::errc::operation_not_permitted || ec == std::errc::not_supported ||
           ec == std::errc::operation_not_supported || ec == std::errc::function_not_supported ||
           ec == std::errc::cross_device_link || ec == std::errc::too_many_links;
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

// Components of a path as written, without the empty one a trailing separator leaves.
std::vector<fs::path> Parts(const fs::path& path) {
    std::vector<fs::path> list;
    for (const fs::path& part : path.lexically_normal()) {
        if (!part.empty()) list.push_back(part);
    }
    return list;
}

}  // namespace

bool IsWithin(const fs::path& inner, const fs::path& outer, bool strictly) {
    const std::vector<fs::path> in = Parts(inner);
    const std::vector<fs::path> out = Parts(outer);
    if (in.size() < out.size() || (strictly && in.size() == out.size())) return false;
    return std::equal(out.begin(), out.end(), in.begin());
}

fs::path PathBelow(const fs::path& inner, const fs::path& outer) {
    const std::vector<fs::path> in = Parts(inner);
    const std::vector<fs::path> out = Parts(outer);
    fs::path below;
    if (in.size() <= out.size() || !std::equal(out.begin(), out.end(), in.begin())) return below;
    for (std::size_t i = out.size(); i < in.size(); ++i) below /= in[i];
    return below;
}

std::string ForbiddenDestinationReason(const fs::path& dest, const fs::path& root) {
    const fs::path below = root.empty() ? fs::path() : PathBelow(dest, root);
    for (const fs::path& name : below.empty() ? dest.filename() : below) {
        if (std::string why = DeviceNameReason(name); !why.empty()) return "cannot write " + PathText(name) + ": " + why;
    }
    return {};
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

namespace {

enum class ReplaceStep { Done, Failed, NoLinks };

// Replaces an existing dest by temp keeping the old drawing as ".BAK", by links and renames that
// each leave a complete drawing under dest and under ".BAK": the old drawing gets a hidden second
// name, an older ".BAK" a hidden one too (so it can come back), the old drawing's hidden name
// becomes ".BAK" in one rename and temp becomes dest in another. Returns NoLinks, having changed
// nothing, where the file system has no hard links.
ReplaceStep ReplaceByLinks(FileSystem& files, const fs::path& dest, const fs::path& temp, Failure* failure) {
    const fs::path backup = BackupPath(dest);
    auto fail = [&](FailureKind kind, const std::string& what, std::error_code ec) {
        (void)files.remove(temp);
        Set(failure, kind, what + ": " + ErrorText(ec), ec);
        return ReplaceStep::Failed;
    };
    const fs::path oldDrawing = TempPathBeside(dest);
    if (auto ec = files.link(dest, oldDrawing)) {
        if (LinksUnsupported(ec)) return ReplaceStep::NoLinks;
        return fail(FailureKind::CannotKeepBackup, "cannot keep the old file as " + Name(backup), ec);
    }
    fs::path olderBackup;
    if (files.isFile(backup)) {
        olderBackup = TempPathBeside(dest);
        if (auto ec = files.link(backup, olderBackup)) {
            (void)files.remove(oldDrawing);
            return fail(FailureKind::CannotKeepBackup,
                        "cannot keep the old file as " + Name(backup) + ": cannot move the older one aside", ec);
        }
    }
    if (auto ec = files.rename(oldDrawing, backup)) {
        (void)files.remove(oldDrawing);
        if (!olderBackup.empty()) (void)files.remove(olderBackup);
        return fail(FailureKind::CannotKeepBackup, "cannot keep the old file as " + Name(backup), ec);
    }
    if (auto ec = files.rename(temp, dest)) {
        // dest still holds the old drawing; ".BAK" goes back to what it held.
        if (olderBackup.empty()) {
            (void)files.remove(backup);
        } else {
            (void)files.rename(olderBackup, backup);
        }
        return fail(FailureKind::CannotWrite, "cannot replace " + Name(dest), ec);
    }
    if (!olderBackup.empty()) (void)files.remove(olderBackup);
    return ReplaceStep::Done;
}

}  // namespace

namespace {

// Opens the folder a drawing goes into. Below the root of a mirrored tree it is entered folder by
// folder without following links and made where missing; otherwise it must be there. Where the
// file system cannot hold folders open, the folders are checked and made by their paths.
std::error_code PinDestinationFolder(FileSystem& files, const fs::path& dest, const fs::path& root,
                                     std::unique_ptr<FolderHandle>& pinned) {
    const fs::path parent = dest.parent_path();
    const bool mirrored = !root.empty() && IsWithin(parent, root, false);
    auto ec = mirrored ? files.pinFolder(root, PathBelow(parent, root), true, pinned)
                       : files.pinFolder(parent.empty() ? fs::path(".") : parent, {}, false, pinned);
    if (ec == std::errc::function_not_supported) {
        pinned.reset();
        return EnsureFolder(files, parent, root);
    }
    return ec;
}

}  // namespace

LeftoverSweep::LeftoverSweep(FileSystem& files) : files_(files) {}

bool LeftoverSweep::IsLeftover(const std::string& name) {
    // This program's temp names, and those of its versions that named them after the drawing
    // (".NAME.qmPID-N.tmp").
    auto alnum = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
    if (name.size() == 18 && name.starts_with(".qm-") && name.ends_with(".tmp") &&
        std::all_of(name.begin() + 4, name.begin() + 14, alnum)) {
        return true;
    }
    if (!name.starts_with(".") || !name.ends_with(".tmp")) return false;
    const std::size_t qm = name.rfind(".qm");
    if (qm == std::string::npos || qm == 0) return false;
    const std::string_view tail(name.data() + qm + 3, name.size() - qm - 3 - 4);
    const std::size_t dash = tail.find('-');
    auto digits = [](std::string_view s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return dash != std::string_view::npos && digits(tail.substr(0, dash)) && digits(tail.substr(dash + 1));
}

void LeftoverSweep::Sweep(const fs::path& folder, const fs::path& reachedAs) {
    // Held through the sweep: a worker that comes second to a folder must not write its temp file
    // there before the first has finished removing leftovers, or its file would be taken for one.
    std::lock_guard lock(mutex_);
    if (!swept_.insert(folder.lexically_normal()).second) return;
    std::vector<std::string> names;
    if (files_.listNames(reachedAs, names)) return;
    for (const std::string& name : names) {
        if (!IsLeftover(name)) continue;
        const fs::path leftover = reachedAs / PathFromText(name);
        if (files_.isFile(leftover) && !files_.remove(leftover)) ++removed_;
    }
}

bool WriteBeside(FileSystem& files, const fs::path& requested, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, PendingReplace& pending, Failure* failure) {
    if (auto ec = PinDestinationFolder(files, requested, settings.createFoldersBelow, pending.pinned)) {
        const std::string why = ec == std::errc::too_many_symbolic_link_levels
                                    ? "a folder on the way is a symbolic link, which is never followed"
                                    : ErrorText(ec);
        Set(failure, FailureKind::CannotWrite, "cannot write into " + requested.parent_path().string() + ": " + why, ec);
        return false;
    }
    // Everything below happens in the folder held open, by names inside it.
    pending.dest = pending.pinned ? pending.pinned->path() / requested.filename() : requested;
    if (settings.sweep) settings.sweep->Sweep(requested.parent_path(), pending.dest.parent_path());
    pending.temp = TempPathBeside(pending.dest);
    WriteSettings writeSettings;
    writeSettings.sync = settings.sync;
    writeSettings.exclusive = true;
    writeSettings.bytesWritten = &bytesOut;
    // The temp file's name means nothing to the user; a failure names the drawing it stood for.
    writeSettings.shownName = "a temporary file beside " + Name(pending.dest);
    return write(pending.temp, writeSettings, failure);
}

bool PutInPlace(FileSystem& files, const PendingReplace& pending, bool syncFolder, Failure* failure) {
    const fs::path& dest = pending.dest;
    const fs::path& temp = pending.temp;
    const bool replacing = files.isFile(dest);
    if (replacing) {
        // The new drawing takes the permission bits of the one it replaces; where they cannot be
        // copied it keeps the bits a new file gets.
        (void)files.copyPermissions(dest, temp);
        const ReplaceStep step = ReplaceByLinks(files, dest, temp, failure);
        if (step == ReplaceStep::Failed) return false;
        if (step == ReplaceStep::Done) {
            if (syncFolder) (void)files.syncDirectory(dest.parent_path());
            return true;
        }
    }

    BackupRecord backup{dest, {}, {}, false};
    if (replacing && !BackupExisting(files, dest, backup, failure)) {
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
    if (syncFolder) (void)files.syncDirectory(dest.parent_path());
    return true;
}

bool ReplaceWith(FileSystem& files, const fs::path& requested, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, Failure* failure) {
    PendingReplace pending;
    return WriteBeside(files, requested, settings, write, bytesOut, pending, failure) &&
           PutInPlace(files, pending, settings.sync, failure);
}

}  // namespace quellmark
