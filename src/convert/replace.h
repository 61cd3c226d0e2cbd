// Where a converted drawing goes and how it takes its destination's place: the folders it needs,
// the temp file beside the destination, and the old file kept as ".BAK", so a failure at any step
// leaves the destination folder as it was.
#pragma once

#include "../drawing/error.h"
#include "../drawing/fs.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace quellmark {

struct WriteSettings;

// Whether inner is outer or lies below it (strictly: only below it), comparing the paths as
// written; a trailing separator makes no difference.
bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer, bool strictly);

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

struct ReplaceSettings {
    bool sync = true;
    std::filesystem::path createFoldersBelow;  // see ConvertSettings
};

// Writes the drawing into a temp file beside dest, keeps an old dest as ".BAK", and gives the
// temp file dest's name. On failure returns false with the failure, and the destination folder
// holds what it held before.
bool ReplaceWith(FileSystem& fs, const std::filesystem::path& dest, const ReplaceSettings& settings,
                 const WriteDrawing& write, std::uint64_t& bytesOut, Failure* failure);

}  // namespace quellmark
