// Where a converted drawing goes and how it takes its destination's place: the folders it needs,
// the temp file beside the destination, and the old file kept as ".BAK", so a failure at any step
// leaves the destination folder as it was.
#pragma once

#include "../drawing/drawing_file.h"
#include "../platform/files.h"
#include "problem.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmark {

// Whether a path is written plainly: names joined by single '/', with no "." or ".." among them
// and no separator at the end, so it is its own lexically normal form. (False wherever '\\'
// separates too and drive names lead: there every path takes the long way.)
bool IsPlainPath(const std::filesystem::path& path);

// Whether inner is outer or lies below it (strictly: only below it), comparing the paths as
// written; a trailing separator makes no difference.
bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer, bool strictly);
// The part of inner below outer ("sub/plan.jww"), compared as IsWithin compares; empty when inner
// does not lie below outer. (The standard library's lexically_relative does not take \\?\ and
// share paths apart on Windows.)
std::filesystem::path PathBelow(const std::filesystem::path& inner, const std::filesystem::path& outer);

// Why no drawing can be written to dest: a name on the way the system keeps for a device, in
// dest's file name or, below root (the folder a mirrored tree is made in), in a folder's name.
// Empty when dest can be written.
std::string ForbiddenDestinationReason(const std::filesystem::path& dest, const std::filesystem::path& root);

// The destination's backup name: its extension replaced by ".BAK" (or ".BAK" added).
std::filesystem::path BackupPath(const std::filesystem::path& dest);

// Whether a name is one that versions of the program before run marks gave their temp files and
// backup copies (".qm-" and ten letters or digits, ".tmp"; ".NAME.qmPID-N.tmp").
bool IsLeftoverName(const std::string& name);

// Writes a drawing into the file at the path with the settings; false with the failure.
using WriteDrawing = std::function<bool(const std::filesystem::path&, const WriteSettings&, Failure*)>;

// The folders a run writes into, as its session keeps them: each is taken for the run before
// the first drawing goes in (so no other run writes there meanwhile), and what killed runs left
// there is cleared. Safe to share between threads.
class DestinationFolders {
public:
    virtual ~DestinationFolders() = default;
    // Takes the folder, reached through `folder`, known to the user as `shown`; once per folder.
    // False with the problem when it cannot be had.
    virtual bool Enter(const std::filesystem::path& shown, const FolderHandle& folder, Problem* problem) = 0;
    // The run's id, which the names of its files carry.
    virtual const std::string& RunId() const = 0;
    // Something of the run's own it could not remove.
    virtual void Left(RunNote note) = 0;
};

// Finishes or undoes the replace whose record (the file `record` in the folder reached as
// `folder`) a run that was killed left: the destination name then holds a complete drawing
// again and ".BAK" the backup it held before, and the run's temp files there go. What cannot
// be done is added to notes, each named by its file name alone.
void RecoverReplace(FileSystem& fs, const std::filesystem::path& folder, const std::filesystem::path& record,
                    std::vector<RunNote>& notes);

// The folder a worker's last drawing went into (as the user names it), held open and taken for
// the run: the next drawing into the same folder goes in through the same handle, without the
// folder being opened and taken again.
struct LastFolder {
    std::filesystem::path requested;
    const FolderHandle* root = nullptr;     // the run's root it was opened from
    DestinationFolders* folders = nullptr;  // the run that took it
    std::shared_ptr<FolderHandle> held;
};

struct ReplaceSettings {
    bool sync = true;
    // The folder every destination lies in (as the user names it), and that folder held open
    // by the run; without it each destination's folder is opened by its path.
    std::filesystem::path root;
    const FolderHandle* rootHeld = nullptr;
    bool createFolders = false;             // missing folders below root are made
    DestinationFolders* folders = nullptr;  // takes each folder written, when given
    // The modification time the new drawing gets; none: the time of its writing.
    std::optional<FileTime> modified;
    // Whether the file already at the destination (opened without following a link) holds
    // exactly what would be written: then nothing is written, and its ".BAK" stays as it is.
    std::function<bool(InputFile& existing)> sameAs;
    // When set, the destination's ".BAK" already holds an old file this batch kept (the source
    // named here left it): an old destination file then fails as a clash instead of replacing it.
    const std::string* backupTakenBy = nullptr;
    // Where a worker keeps the folder its last drawing went into; none: every drawing opens its own.
    LastFolder* lastFolder = nullptr;
};

// ReplaceWith in its two steps, for a batch that syncs many drawings at once between them: the
// drawing written into its temp file beside dest (synced only with settings.sync), and then put
// in dest's place. Between the steps the temp file and the folder held open wait here.
struct PendingReplace {
    std::filesystem::path dest;   // as reached through the folder held open
    std::filesystem::path shown;  // as the user names it
    std::filesystem::path temp;
    std::shared_ptr<FolderHandle> pinned;
    const std::string* backupTakenBy = nullptr;
    DestinationFolders* folders = nullptr;
    bool upToDate = false;  // the destination holds the drawing already: nothing was written
};

// What a replace did.
struct Replaced {
    bool madeBackup = false;  // an old destination file became ".BAK"
    bool upToDate = false;    // the destination held the drawing already, and was left as it was
};
bool WriteBeside(FileSystem& fs, const std::filesystem::path& dest, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, PendingReplace& pending, Problem* problem);
// Keeps an old dest as ".BAK" and gives the temp file dest's name; with syncFolder the renames
// are made durable. On failure the temp file is removed and the folder holds what it held. A
// destination up to date is left as it is.
bool PutInPlace(FileSystem& fs, const PendingReplace& pending, bool syncFolder, Replaced& replaced, Problem* problem);

// Both steps: writes the drawing into a temp file beside dest, keeps an old dest as ".BAK", and
// gives the temp file dest's name. On failure returns false with the problem, and the
// destination folder holds what it held before.
bool ReplaceWith(FileSystem& fs, const std::filesystem::path& dest, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, Replaced& replaced, Problem* problem);

// Puts a small file (a list) in place whole: written and synced under a temp name beside it in
// the folder held open, then given its name there, so the name holds the old or the new file at
// every instant and nothing is written anywhere else.
std::error_code ReplaceFileIn(FileSystem& fs, const FolderHandle& folder, const std::filesystem::path& name,
                              std::string_view bytes);

}  // namespace quellmark
