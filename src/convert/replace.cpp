// The temp file beside the destination, the ".BAK" of the old file, and the rename that puts the
// new drawing in place, each step undone when a later one fails. Where the file system has hard
// links, the destination name holds the old or the new complete drawing at every instant, and
// ".BAK" the old backup or the old drawing, so a crash between two steps loses nothing.
#include "replace.h"

#include "../platform/system.h"
#include "run_marks.h"

#include <algorithm>
#include <string>
#include <vector>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

// A hidden name beside dest, never derived from the drawing's name, so any name the file system
// allows converts; it carries the run's id, so no other run takes it for a killed run's. The
// files are created exclusively, so a name that is taken fails that step instead of meeting a
// file.
fs::path TempBeside(const fs::path& dest, std::string_view runId) { return dest.parent_path() / RunTempName(runId); }

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
    // A rename between two names of one file does nothing: the second name goes by itself. One
    // that stays is a hidden name with the run's id, which the next run's sweep takes.
    if (files.examine(from).kind != PathKind::Missing) (void)files.remove(from);
    return {};
}

bool Exists(FileSystem& files, const fs::path& path) { return files.examine(path).kind != PathKind::Missing; }

// The names one replace works with, all in the destination's folder. Where a kill between two
// steps could leave the destination's name without its drawing (no hard links) or an older
// backup under a hidden name, they are written down first as a record, from which the next run
// into the folder finishes or undoes the replace.
struct ReplaceNames {
    fs::path dest;
    fs::path backup;  // dest's ".BAK" name
    fs::path temp;    // the new drawing
    fs::path aside;   // the older ".BAK" under a hidden name; empty when there was none
    fs::path second;  // the old drawing's hidden second name (a hard link); empty without links
};

constexpr std::string_view kRecordFirstLine = "quellmark replace 1\n";

// The first line, then the five names (file names only), each ended by a NUL byte, which no
// file name holds.
std::string RecordText(const ReplaceNames& names) {
    std::string text(kRecordFirstLine);
    for (const fs::path* name : {&names.dest, &names.backup, &names.temp, &names.aside, &names.second}) {
        text += name->empty() ? std::string() : PathText(name->filename());
        text += '\0';
    }
    return text;
}

bool ParseRecord(std::string_view text, const fs::path& folder, ReplaceNames& names) {
    if (!text.starts_with(kRecordFirstLine)) return false;
    text.remove_prefix(kRecordFirstLine.size());
    for (fs::path* name : {&names.dest, &names.backup, &names.temp, &names.aside, &names.second}) {
        const std::size_t end = text.find('\0');
        if (end == std::string_view::npos) return false;
        const std::string_view part = text.substr(0, end);
        // A name, never a path: a record cannot send anything outside its folder.
        if (part.find('/') != std::string_view::npos || part.find('\\') != std::string_view::npos || part == "." ||
            part == "..") {
            return false;
        }
        *name = part.empty() ? fs::path() : folder / PathFromText(part);
        text.remove_prefix(end + 1);
    }
    return !names.dest.empty() && !names.backup.empty() && !names.temp.empty() && text.empty();
}

// One replace of an existing destination by the temp file, keeping the old drawing as ".BAK".
// With hard links the old drawing gets a hidden second name, an older ".BAK" one too (so it can
// come back), the second name becomes ".BAK" in one rename and the temp file the destination in
// another: the destination name holds a complete drawing at every instant. Without hard links
// the older ".BAK" is set aside, the old drawing renamed to ".BAK" and the temp file renamed into
// place, with the record in the folder meanwhile. Each failure undoes the steps before it.
class Replace {
public:
    Replace(FileSystem& files, const PendingReplace& pending) : files_(files), pending_(pending) {}

    bool run(bool syncFolder, Problem* problem) {
        const std::string& id = pending_.folders ? pending_.folders->RunId() : std::string();
        names_ = {pending_.dest, BackupPath(pending_.dest), pending_.temp, {}, TempBeside(pending_.dest, id)};
        const std::string keep = "cannot keep the old file as " + Name(names_.backup);
        const bool olderBackup = files_.examine(names_.backup).kind == PathKind::File;
        const std::error_code linked = files_.link(names_.dest, names_.second);
        if (linked && !LinksUnsupported(linked)) return fail(problem, ProblemKind::CannotKeepBackup, keep, linked);
        const bool links = !linked;
        if (!links) names_.second.clear();
        if (olderBackup) names_.aside = TempBeside(pending_.dest, id);
        if (olderBackup || !links) {
            if (auto ec = writeRecord(id, syncFolder)) {
                return fail(problem, ProblemKind::CannotKeepBackup, keep + ": cannot write the record of the replace",
                            ec);
            }
        }
        if (olderBackup) {
            const std::error_code ec =
                links ? files_.link(names_.backup, names_.aside) : RenameOnto(files_, names_.backup, names_.aside);
            if (ec) return fail(problem, ProblemKind::CannotKeepBackup, keep + ": cannot move the older one aside", ec);
        }
        const std::error_code kept =
            links ? RenameOnto(files_, names_.second, names_.backup) : RenameOnto(files_, names_.dest, names_.backup);
        if (kept) return fail(problem, ProblemKind::CannotKeepBackup, keep, kept);
        backupMoved_ = true;
        if (auto ec = files_.rename(names_.temp, names_.dest)) {
            return fail(problem, ProblemKind::CannotWrite, "cannot replace " + Name(names_.dest), ec);
        }
        discard(names_.aside);
        discard(record_);
        return true;
    }

private:
    std::error_code writeRecord(const std::string& id, bool sync) {
        const fs::path record = pending_.dest.parent_path() / RecordName(id);
        std::unique_ptr<OutputFile> out;
        if (auto ec = files_.createNew(record, out)) return ec;
        record_ = record;
        const std::string text = RecordText(names_);
        std::size_t written = 0;
        std::error_code ec = out->write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, written);
        if (!ec && sync) ec = out->sync();
        if (const std::error_code closed = out->close(); !ec) ec = closed;
        return ec;
    }

    // Puts back what the steps so far changed, removes the run's own files, and says why. Where
    // a step back fails, the record stays, and the next run into the folder finishes the undo.
    bool fail(Problem* problem, ProblemKind kind, const std::string& what, std::error_code ec) {
        const bool links = !names_.second.empty();
        bool undone = true;
        if (backupMoved_ && !links) {
            undone = !RenameOnto(files_, names_.backup, names_.dest);  // the old drawing back under its name
        } else if (backupMoved_ && names_.aside.empty()) {
            // A ".BAK" this replace made, a second name of the old drawing that is still in place:
            // one that stays loses nothing.
            (void)files_.remove(names_.backup);
        }
        if (!names_.aside.empty() && Exists(files_, names_.aside)) {
            // With links the older backup kept its name until the old drawing took it.
            if (links && !backupMoved_) {
                discard(names_.aside);
            } else if (RenameOnto(files_, names_.aside, names_.backup)) {
                undone = false;
            }
        }
        discard(names_.second);
        discard(names_.temp);
        if (undone) discard(record_);
        Set(problem, kind, what + ": " + ErrorText(ec), ec);
        return false;
    }

    void discard(const fs::path& path) {
        if (path.empty()) return;
        const std::error_code ec = files_.remove(path);
        if (ec && ec != std::errc::no_such_file_or_directory && pending_.folders) {
            pending_.folders->Left(
                NotRemoved(RunNote::Kind::CannotRemove, pending_.shown.parent_path() / path.filename(), ec));
        }
    }

    FileSystem& files_;
    const PendingReplace& pending_;
    ReplaceNames names_;
    fs::path record_;
    bool backupMoved_ = false;
};

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

// Holds the folder a drawing goes into and takes it for the run, or, when the worker's last
// drawing went into the same folder, goes on through the handle that drawing held (opened from
// the root without following links and taken then; a handle reaches its folder whatever happens
// to the names above it).
bool HoldDestinationFolder(FileSystem& files, const fs::path& requested, const ReplaceSettings& settings,
                           PendingReplace& pending, Problem* problem) {
    fs::path parent = requested.parent_path();
    LastFolder* last = settings.lastFolder;
    if (last && last->held && last->root == settings.rootHeld && last->folders == settings.folders &&
        last->requested == parent) {
        pending.pinned = last->held;
        return true;
    }
    std::unique_ptr<FolderHandle> pinned;
    if (auto ec = PinDestinationFolder(files, requested, settings, pinned)) {
        const std::string why = ec == std::errc::too_many_symbolic_link_levels
                                    ? "a folder on the way is a symbolic link, which is never followed"
                                    : ErrorText(ec);
        Set(problem, ProblemKind::CannotWrite, "cannot write into " + PathText(parent) + ": " + why, ec);
        return false;
    }
    pending.pinned = std::move(pinned);
    if (settings.folders && !settings.folders->Enter(parent, *pending.pinned, problem)) return false;
    if (last) *last = {std::move(parent), settings.rootHeld, settings.folders, pending.pinned};
    return true;
}

}  // namespace

namespace {

// The text of a path as the system keeps it (wide characters on Windows).
using PathView = std::basic_string_view<fs::path::value_type>;

// IsPlainPath on the text of a path. A plain path's parts are its names, and one lies below
// another exactly when its text goes on from the other's with a separator: a comparison of text,
// done per drawing, instead of splitting both into parts.
bool IsPlainText(PathView text) {
    if constexpr (fs::path::preferred_separator != '/') return false;
    // "/" itself ends in a separator too: it is no plain path, so no plain path is below it here.
    if (text.empty() || text.back() == '/') return false;
    std::size_t from = text.front() == '/' ? 1 : 0;
    while (from <= text.size()) {
        std::size_t end = text.find('/', from);
        if (end == PathView::npos) end = text.size();
        const PathView name = text.substr(from, end - from);
        const bool dots = name.size() <= 2 && std::all_of(name.begin(), name.end(), [](auto c) { return c == '.'; });
        if (name.empty() || dots) return false;
        from = end + 1;
    }
    return true;
}

// For two plain paths: 0 when inner is outer, the length of outer's text when inner lies below
// it, and npos when it does not.
std::size_t PlainBelow(PathView inner, PathView outer) {
    if (inner == outer) return 0;
    if (inner.size() > outer.size() && inner.starts_with(outer) && inner[outer.size()] == '/') return outer.size();
    return PathView::npos;
}

bool BothPlain(const fs::path& inner, const fs::path& outer) { return IsPlainPath(outer) && IsPlainPath(inner); }

}  // namespace

bool IsPlainPath(const fs::path& path) { return IsPlainText(path.native()); }

bool IsWithin(const fs::path& inner, const fs::path& outer, bool strictly) {
    if (BothPlain(inner, outer)) {
        const std::size_t at = PlainBelow(inner.native(), outer.native());
        return at != PathView::npos && (at > 0 || !strictly);
    }
    const std::vector<fs::path> in = Parts(inner);
    const std::vector<fs::path> out = Parts(outer);
    if (in.size() < out.size() || (strictly && in.size() == out.size())) return false;
    return std::equal(out.begin(), out.end(), in.begin());
}

fs::path PathBelow(const fs::path& inner, const fs::path& outer) {
    if (BothPlain(inner, outer)) {
        const std::size_t at = PlainBelow(inner.native(), outer.native());
        if (at == 0 || at == PathView::npos) return {};
        return fs::path(inner.native().substr(at + 1));
    }
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
        if (std::string why = DeviceNameReason(name); !why.empty())
            return "cannot write " + PathText(name) + ": " + why;
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

void RecoverReplace(FileSystem& files, const fs::path& folder, const fs::path& record, std::vector<RunNote>& notes) {
    const fs::path recordPath = folder / record;
    std::unique_ptr<InputFile> in;
    std::string text;
    // A record holds five names: anything larger is no record of this program's.
    if (!files.openReadNoFollow(recordPath, in) && in->size() < 8192) text = ReadText(*in, 8192);
    in.reset();
    ReplaceNames names;
    if (!ParseRecord(text, folder, names)) {
        // Killed while the record itself was written: no step of the replace had begun.
        if (const std::error_code ec = files.remove(recordPath)) {
            notes.push_back(NotRemoved(RunNote::Kind::CannotRemoveLeftover, record.filename(), ec));
        }
        return;
    }
    auto note = [&](const fs::path& name, std::error_code ec) {
        if (ec && ec != std::errc::no_such_file_or_directory) {
            notes.push_back(NotRemoved(RunNote::Kind::CannotRemoveLeftover, name.filename(), ec));
        }
    };
    if (Exists(files, names.temp)) {
        // The new drawing never took the name: everything goes back as it was before.
        if (!Exists(files, names.dest) && Exists(files, names.backup))
            note(names.dest, RenameOnto(files, names.backup, names.dest));
        if (!names.aside.empty() && Exists(files, names.aside))
            note(names.backup, RenameOnto(files, names.aside, names.backup));
        note(names.temp, files.remove(names.temp));
    } else if (!names.aside.empty()) {
        note(names.aside, files.remove(names.aside));  // done but for the older backup's removal
    }
    if (!names.second.empty()) note(names.second, files.remove(names.second));
    note(record, files.remove(recordPath));
}

bool WriteBeside(FileSystem& files, const fs::path& requested, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, PendingReplace& pending, Problem* problem) {
    pending.shown = requested;
    pending.backupTakenBy = settings.backupTakenBy;
    pending.folders = settings.folders;
    if (!HoldDestinationFolder(files, requested, settings, pending, problem)) return false;
    // Everything below happens in the folder held open, by names inside it.
    pending.dest = pending.pinned->path() / requested.filename();
    // Looked at once the folder is the run's (and an interrupted replace there put right): a
    // drawing converted before, by a run that was killed, needs no second conversion, which
    // would make its first conversion the ".BAK" and lose the old drawing.
    if (settings.sameAs) {
        std::unique_ptr<InputFile> existing;
        if (!files.openReadNoFollow(pending.dest, existing) && settings.sameAs(*existing)) {
            pending.upToDate = true;
            return true;
        }
    }
    pending.temp = TempBeside(pending.dest, settings.folders ? settings.folders->RunId() : std::string());
    WriteSettings writeSettings;
    writeSettings.sync = settings.sync;
    writeSettings.exclusive = true;
    writeSettings.bytesWritten = &bytesOut;
    // The temp file's name means nothing to the user; a failure names the drawing it stood for.
    writeSettings.shownName = "a temporary file beside " + Name(pending.dest);
    // Through the temp file's own handle, never by a name someone could have given another file:
    // the permission bits (and, where the run may, the owner) of the file it will replace, looked
    // at without following a link, and the time asked for. Where the bits cannot be given, it
    // keeps those a new file gets.
    writeSettings.beforeClose = [&](OutputFile& file) {
        FileAttributes attributes;
        // Where the bits cannot be given, the new file keeps those a new file gets (as said above).
        if (!files.attributesOf(pending.dest, attributes)) (void)file.takeAttributes(attributes);
        if (!settings.modified) return;
        if (const std::error_code ec = file.setModified(*settings.modified)) {
            throw DrawingError(FailureKind::CannotWrite, "cannot keep the modification time: " + ErrorText(ec), -1,
                               Section::None, ec);
        }
    };
    Failure failure;
    if (write(pending.temp, writeSettings, &failure)) return true;
    if (problem) *problem = ProblemOf(failure);
    return false;
}

bool PutInPlace(FileSystem& files, const PendingReplace& pending, bool syncFolder, Replaced& replaced,
                Problem* problem) {
    replaced = {};
    if (pending.upToDate) {
        replaced.upToDate = true;
        return true;
    }
    const fs::path& dest = pending.dest;
    const fs::path& temp = pending.temp;
    const bool replacing = files.examine(dest).kind == PathKind::File;
    auto discardTemp = [&] {
        const std::error_code ec = files.remove(temp);
        if (ec && pending.folders) {
            pending.folders->Left(
                NotRemoved(RunNote::Kind::CannotRemove, pending.shown.parent_path() / temp.filename(), ec));
        }
    };
    if (replacing && pending.backupTakenBy) {
        discardTemp();
        const std::string backup = Name(BackupPath(dest));
        Set(problem, ProblemKind::BackupClash,
            "cannot keep the old file as " + backup + ": " + backup + " already keeps the old file that " +
                *pending.backupTakenBy + " of this batch replaced",
            {});
        return false;
    }
    if (replacing) {
        if (!Replace(files, pending).run(syncFolder, problem)) return false;
    } else if (auto ec = files.rename(temp, dest)) {
        discardTemp();
        Set(problem, ProblemKind::CannotWrite, "cannot replace " + Name(dest) + ": " + ErrorText(ec), ec);
        return false;
    }
    // The names are in place; a folder whose system takes no sync of it leaves them to its own
    // flush, which is no reason to fail a drawing that is there.
    if (syncFolder) (void)files.syncDirectory(dest.parent_path());
    replaced.madeBackup = replacing;
    return true;
}

std::error_code ReplaceFileIn(FileSystem& files, const FolderHandle& folder, const fs::path& name,
                              std::string_view bytes) {
    const fs::path temp = folder.path() / RunTempName({});
    std::unique_ptr<OutputFile> out;
    if (auto ec = files.createNew(temp, out)) return ec;
    std::size_t written = 0;
    std::error_code ec = out->write({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, written);
    if (!ec) ec = out->sync();
    if (const std::error_code closed = out->close(); !ec) ec = closed;
    if (!ec) ec = files.rename(temp, folder.path() / name.filename());
    // The first failure is what the caller needs; a temp file that stays carries the run's
    // name, which the next run's sweep takes.
    if (ec) (void)files.remove(temp);
    return ec;
}

bool ReplaceWith(FileSystem& files, const fs::path& requested, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, Replaced& replaced, Problem* problem) {
    PendingReplace pending;
    replaced = {};
    return WriteBeside(files, requested, settings, write, bytesOut, pending, problem) &&
           PutInPlace(files, pending, settings.sync, replaced, problem);
}

}  // namespace quellmark
