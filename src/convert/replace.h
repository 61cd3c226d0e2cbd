// Where a converted drawing goes and how it takes its destination's place: the folders it needs,
// the temp file beside the destination, and the old file kept as ".BAK", so a failure at any step
// leaves the destination folder as it was.
#pragma once

#include "../drawing/error.h"
#include "../drawing/fs.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace quellmark {

struct WriteSettings;

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

// What BackupExisting did, so it can be undone or completed.
struct BackupRecord {
    std::filesystem::path dest;
    std::filesystem::path backup;  // dest's ".BAK" name
    std::filesystem::path aside;   // where the older ".BAK" waits; empty when there was none
    bool moved = false;            // dest was moved to the backup name
};

// Moves an existing dest to its ".BAK" name, setting an older backup aside first. False with
// the failure (CannotKeepBackup) when the old file cannot be kept (everything is then as it
// was); true when it was kept or there was nothing to keep.
bool BackupExisting(FileSystem& fs, const std::filesystem::path& dest, BackupRecord& record,
                    Failure* failure);
// Puts dest and the older backup back where they were.
void RestoreBackup(FileSystem& fs, const BackupRecord& record);
// Removes the older backup for good; a failure leaves it under its hidden name.
void CompleteBackup(FileSystem& fs, const BackupRecord& record);

// Writes a drawing into the file at the path with the settings; false with the failure.
using WriteDrawing = std::function<bool(const std::filesystem::path&, const WriteSettings&, Failure*)>;

// Removes what runs that were killed left in the folders a run writes: temp files and backup
// copies under the program's own hidden names. Only a run that holds its destination's lock may
// sweep, so no live run's files go. Each folder is swept once; safe to share between threads.
class LeftoverSweep {
public:
    explicit LeftoverSweep(FileSystem& files);
    // folder: the folder as the user knows it; reachedAs: how it is reached now.
    void Sweep(const std::filesystem::path& folder, const std::filesystem::path& reachedAs);
    std::int64_t Removed() const { return removed_; }
    // Whether a name is one the program gives its temp files and backup copies.
    static bool IsLeftover(const std::string& name);

private:
    FileSystem& files_;
    std::mutex mutex_;
    std::set<std::filesystem::path> swept_;
    std::atomic<std::int64_t> removed_{0};
};

struct ReplaceSettings {
    bool sync = true;
    std::filesystem::path createFoldersBelow;  // see ConvertSettings
    LeftoverSweep* sweep = nullptr;            // sweeps each folder written, when given
};

// Writes the drawing into a temp file beside dest, keeps an old dest as ".BAK", and gives the
// temp file dest's name. On failure returns false with the failure, and the destination folder
// holds what it held before.
bool ReplaceWith(FileSystem& fs, const std::filesystem::path& dest, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, Failure* failure);

// ReplaceWith in its two steps, for a batch that syncs many drawings at once between them: the
// drawing written into its temp file beside dest (synced only with settings.sync), and then put
// in dest's place. Between the steps the temp file and the folder held open wait here.
struct PendingReplace {
    std::filesystem::path dest;  // as reached through the folder held open
    std::filesystem::path temp;
    std::unique_ptr<FolderHandle> pinned;
};
bool WriteBeside(FileSystem& fs, const std::filesystem::path& dest, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, PendingReplace& pending, Failure* failure);
// Keeps an old dest as ".BAK" and gives the temp file dest's name; with syncFolder the renames
// are made durable. On failure the temp file is removed and the folder holds what it held.
bool PutInPlace(FileSystem& fs, const PendingReplace& pending, bool syncFolder, Failure* failure);

}  // namespace quellmark
