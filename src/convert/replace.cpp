// The temp file beside the destination, the ".BAK" of the old file, and the rename that puts the
// new drawing in place, each step undone when a later one fails. Where the file system has hard
// links, the destination name holds the old or the new complete drawing at every instant, and
// ".BAK" the old backup or the old drawing, so a crash between two steps loses nothing.
#include "replace.h"

#include "../platform/system.h"

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

std::string Name(const fs::path& path) { return PathText(path.filename()); }

void Set(Problem* problem, ProblemKind kind, std::string detail, std::error_code ec) {
    if (problem) *problem = MakeProblem(kind, std::move(detail), ec);
}

// Components of a path as written, without the empty one a trailing separator leaves.
std::vector<fs::path> Parts(const fs::path& path) {
    std::vector<fs::path> list;
    for (const fs::path& part : path.lexically_normal()) {
        if (!part.empty()) list.push_back(part);
    }
    return list;
}

// rename(2) of one name of a file onto another name of the same file (hard links: a drawing
// and its ".BAK" after a run was killed between its renames) succeeds and does nothing; the
// name moved from must still go.
std::error_code RenameOnto(FileSystem& files, const fs::path& from, const fs::path& to) {
    if (auto ec = files.rename(from, to)) return ec;
    if (files.examine(from).kind != PathKind::Missing) (void)files.remove(from);
    return {};
}

// What BackupExisting did, so it can be undone or completed.
struct BackupRecord {
    fs::path dest;
    fs::path backup;  // dest's ".BAK" name
    fs::path aside;   // where the older ".BAK" waits; empty when there was none
    bool moved = false;  // dest was moved to the backup name
};

void RestoreBackup(FileSystem& files, const BackupRecord& record) {
    if (record.moved) (void)RenameOnto(files, record.backup, record.dest);
    if (!record.aside.empty()) (void)RenameOnto(files, record.aside, record.backup);
}

// Moves an existing dest to its ".BAK" name, setting an older backup aside first. False with
// the problem (CannotKeepBackup) when the old file cannot be kept (everything is then as it
// was); true when it was kept. For file systems without hard links.
bool BackupExisting(FileSystem& files, const fs::path& dest, BackupRecord& record, Problem* problem) {
    record = BackupRecord{dest, BackupPath(dest), {}, false};
    auto fail = [&](const std::string& why, std::error_code ec) {
        Set(problem, ProblemKind::CannotKeepBackup, "cannot keep the old file as " + Name(record.backup) + ": " + why, ec);
        return false;
    };
    // The older backup only goes once the new drawing stands, so every failure can be undone.
    if (files.examine(record.backup).kind == PathKind::File) {
        const fs::path aside = TempPathBeside(record.backup);
        if (auto ec = RenameOnto(files, record.backup, aside)) {
            return fail("cannot move the older one aside: " + ErrorText(ec), ec);
        }
        record.aside = aside;
    }
    if (auto ec = RenameOnto(files, dest, record.backup)) {
        RestoreBackup(files, record);
        return fail(ErrorText(ec), ec);
    }
    record.moved = true;
    return true;
}

enum class ReplaceStep { Done, Failed, NoLinks };

// Replaces an existing dest by temp keeping the old drawing as ".BAK", by links and renames that
// each leave a complete drawing under dest and under ".BAK": the old drawing gets a hidden second
// name, an older ".BAK" a hidden one too (so it can come back), the old drawing's hidden name
// becomes ".BAK" in one rename and temp becomes dest in another. Returns NoLinks, having changed
// nothing, where the file system has no hard links.
ReplaceStep ReplaceByLinks(FileSystem& files, const fs::path& dest, const fs::path& temp, Problem* problem) {
    const fs::path backup = BackupPath(dest);
    auto fail = [&](ProblemKind kind, const std::string& what, std::error_code ec) {
        (void)files.remove(temp);
        Set(problem, kind, what + ": " + ErrorText(ec), ec);
        return ReplaceStep::Failed;
    };
    const fs::path oldDrawing = TempPathBeside(dest);
    if (auto ec = files.link(dest, oldDrawing)) {
        if (LinksUnsupported(ec)) return ReplaceStep::NoLinks;
        return fail(ProblemKind::CannotKeepBackup, "cannot keep the old file as " + Name(backup), ec);
    }
    fs::path olderBackup;
    if (files.examine(backup).kind == PathKind::File) {
        olderBackup = TempPathBeside(dest);
        if (auto ec = files.link(backup, olderBackup)) {
            (void)files.remove(oldDrawing);
            return fail(ProblemKind::CannotKeepBackup,
                        "cannot keep the old file as " + Name(backup) + ": cannot move the older one aside", ec);
        }
    }
    if (auto ec = RenameOnto(files, oldDrawing, backup)) {
        (void)files.remove(oldDrawing);
        if (!olderBackup.empty()) (void)files.remove(olderBackup);
        return fail(ProblemKind::CannotKeepBackup, "cannot keep the old file as " + Name(backup), ec);
    }
    if (auto ec = files.rename(temp, dest)) {
        // dest still holds the old drawing; ".BAK" goes back to what it held.
        if (olderBackup.empty()) {
            (void)files.remove(backup);
        } else {
            (void)RenameOnto(files, olderBackup, backup);
        }
        return fail(ProblemKind::CannotWrite, "cannot replace " + Name(dest), ec);
    }
    if (!olderBackup.empty()) (void)files.remove(olderBackup);
    return ReplaceStep::Done;
}

// Opens the folder a drawing goes into, entered from the run's root folder one folder at a time
// without following links (and made where missing when the settings say so); without a root,
// the folder itself is opened by its path.
std::error_code PinDestinationFolder(FileSystem& files, const fs::path& dest, const ReplaceSettings& settings,
                                     std::unique_ptr<FolderHandle>& pinned) {
    const fs::path parent = dest.parent_path().empty() ? fs::path(".") : dest.parent_path();
    if (settings.root.empty()) return files.holdFolder(parent, pinned);
    if (!IsWithin(parent, settings.root, false)) return std::make_error_code(std::errc::invalid_argument);
    std::unique_ptr<FolderHandle> held;
    if (!settings.rootHeld) {
        if (auto ec = files.holdFolder(settings.root, held)) return ec;
    }
    return files.pinFolder(settings.rootHeld ? *settings.rootHeld : *held, PathBelow(parent, settings.root),
                           settings.createFolders, pinned);
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
    return dest.parent_path() / PathFromText((dot == std::string::npos ? name : name.substr(0, dot)) + ".BAK");
}

bool IsLeftoverName(const std::string& name) {
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

LeftoverSweep::LeftoverSweep(FileSystem& files) : files_(files) {}

std::vector<std::string> LeftoverSweep::Unremoved() const {
    std::lock_guard lock(mutex_);
    return unremoved_;
}

void LeftoverSweep::Sweep(const fs::path& folder, const fs::path& reachedAs) {
    // Held through the sweep: a worker that comes second to a folder must not write its temp file
    // there before the first has finished removing leftovers, or its file would be taken for one.
    std::lock_guard lock(mutex_);
    if (!swept_.insert(folder.lexically_normal()).second) return;
    std::vector<FolderEntry> entries;
    if (auto ec = files_.listFolder(reachedAs, entries)) {
        unremoved_.push_back(PathText(folder) + ": cannot look for leftovers: " + ErrorText(ec));
        return;
    }
    for (const FolderEntry& entry : entries) {
        if (entry.facts.kind != PathKind::File || entry.facts.link || !IsLeftoverName(PathText(entry.name))) continue;
        if (auto ec = files_.remove(reachedAs / entry.name)) {
            unremoved_.push_back(PathText(folder / entry.name) + ": " + ErrorText(ec));
        } else {
            ++removed_;
        }
    }
}

bool WriteBeside(FileSystem& files, const fs::path& requested, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, PendingReplace& pending, Problem* problem) {
    if (auto ec = PinDestinationFolder(files, requested, settings, pending.pinned)) {
        const std::string why = ec == std::errc::too_many_symbolic_link_levels
                                    ? "a folder on the way is a symbolic link, which is never followed"
                                    : ErrorText(ec);
        Set(problem, ProblemKind::CannotWrite, "cannot write into " + PathText(requested.parent_path()) + ": " + why, ec);
        return false;
    }
    // Everything below happens in the folder held open, by names inside it.
    pending.dest = pending.pinned->path() / requested.filename();
    pending.backupTakenBy = settings.backupTakenBy;
    if (settings.sweep) settings.sweep->Sweep(requested.parent_path(), pending.dest.parent_path());
    pending.temp = TempPathBeside(pending.dest);
    WriteSettings writeSettings;
    writeSettings.sync = settings.sync;
    writeSettings.exclusive = true;
    writeSettings.bytesWritten = &bytesOut;
    // The temp file's name means nothing to the user; a failure names the drawing it stood for.
    writeSettings.shownName = "a temporary file beside " + Name(pending.dest);
    Failure failure;
    if (write(pending.temp, writeSettings, &failure)) return true;
    if (problem) *problem = ProblemOf(failure);
    return false;
}

bool PutInPlace(FileSystem& files, const PendingReplace& pending, bool syncFolder, bool& madeBackup,
                Problem* problem) {
    madeBackup = false;
    const fs::path& dest = pending.dest;
    const fs::path& temp = pending.temp;
    const bool replacing = files.examine(dest).kind == PathKind::File;
    if (replacing && pending.backupTakenBy) {
        (void)files.remove(temp);
        const std::string backup = Name(BackupPath(dest));
        Set(problem, ProblemKind::Clash,
            "cannot keep the old file as " + backup + ": " + backup + " already keeps the old file that " +
                *pending.backupTakenBy + " of this batch replaced",
            {});
        return false;
    }
    if (replacing) {
        // The new drawing takes the permission bits of the one it replaces; where they cannot be
        // copied it keeps the bits a new file gets.
        (void)files.copyPermissions(dest, temp);
        const ReplaceStep step = ReplaceByLinks(files, dest, temp, problem);
        if (step == ReplaceStep::Failed) return false;
        if (step == ReplaceStep::Done) {
            if (syncFolder) (void)files.syncDirectory(dest.parent_path());
            madeBackup = true;
            return true;
        }
    }

    BackupRecord backup{dest, {}, {}, false};
    if (replacing && !BackupExisting(files, dest, backup, problem)) {
        (void)files.remove(temp);
        return false;
    }
    if (auto ec = files.rename(temp, dest)) {
        RestoreBackup(files, backup);
        (void)files.remove(temp);
        Set(problem, ProblemKind::CannotWrite, "cannot replace " + Name(dest) + ": " + ErrorText(ec), ec);
        return false;
    }
    if (!backup.aside.empty()) (void)files.remove(backup.aside);
    if (syncFolder) (void)files.syncDirectory(dest.parent_path());
    madeBackup = replacing;
    return true;
}

std::error_code ReplaceFileWith(FileSystem& files, const fs::path& file, std::string_view bytes) {
    const fs::path temp = TempPathBeside(file);
    std::unique_ptr<OutputFile> out;
    if (auto ec = files.createNew(temp, out)) return ec;
    std::size_t written = 0;
    std::error_code ec = out->write({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, written);
    if (!ec) ec = out->sync();
    if (const std::error_code closed = out->close(); !ec) ec = closed;
    if (!ec) ec = files.rename(temp, file);
    if (ec) (void)files.remove(temp);
    return ec;
}

bool ReplaceWith(FileSystem& files, const fs::path& requested, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, bool& madeBackup, Problem* problem) {
    PendingReplace pending;
    madeBackup = false;
    return WriteBeside(files, requested, settings, write, bytesOut, pending, problem) &&
           PutInPlace(files, pending, settings.sync, madeBackup, problem);
}

}  // namespace quellmark
