// Converting one drawing: read it whole, mark its dimensions, and put the result in place of
// its destination with the old file kept as ".BAK". The conversion context holds everything one
// conversion at a time needs, so each thread of a batch has its own.
#pragma once

#include "../drawing/images.h"
#include "../drawing/scan.h"
#include "../drawing/recognise.h"
#include "../jws/jwsunit.h"
#include "../jww/jwwunit.h"
#include "../platform/files.h"
#include "problem.h"
#include "replace.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quellmark {

// Repeated: the same file given again for the same destination; it is counted once, and the
// front ends show nothing of the repetition. UpToDate: the destination held exactly the drawing's
// conversion already (a run killed after it), so nothing was written and its ".BAK" stays.
enum class Outcome { Converted, Skipped, Failed, WouldConvert, NotStarted, Repeated, UpToDate };

// "converted", "skipped", "failed", "would-convert", "not-started", "repeated", "up-to-date"
const char* OutcomeName(Outcome outcome);

struct FileResult {
    std::filesystem::path source;
    std::filesystem::path dest;
    DrawingFormat format = DrawingFormat::None;  // None for a skipped file
    std::int32_t version = 0;
    std::int32_t writtenVersion = 0;  // the version it is (in a dry run: would be) written with; 0 before reading
    Outcome outcome = Outcome::Skipped;
    std::int64_t dimensions = 0;
    std::int64_t marked = 0;  // dimensions whose flags words changed
    // Why the file failed, was skipped (NotADrawing) or was not started (Interrupted).
    Problem failure;
    // What the writers change beyond the marks, kind by kind (the drawing is, or would be,
    // written so).
    ChangeTally changes;
    // Bytes after the end of the drawing: it failed for them, or they were dropped.
    std::uint64_t trailingBytes = 0;
    // What the user should know of a drawing that converted: "N bytes after the end of the
    // drawing were not kept".
    std::vector<std::string> warnings;
    std::uint64_t bytesIn = 0;  // the bytes read of the file
    std::uint64_t bytesOut = 0;
    bool madeBackup = false;  // an old destination file became ".BAK"
};

struct ConvertSettings {
    bool sync = true;     // push each converted drawing to the device before it replaces anything
    bool dryRun = false;  // read and mark in memory, write nothing
    // The folder every destination lies in, as the user names it, and that folder held open by
    // the run (so a folder swapped in under its name later is never written). Empty: each
    // destination's folder is opened by its path and must be there.
    std::filesystem::path destFolder;
    const FolderHandle* destHeld = nullptr;
    // Missing folders below destFolder are made for the drawings (a tree mirrored under it).
    bool createFolders = false;
    // The converted drawing takes the source's modification time.
    bool keepTimes = false;
    // When set (by an interrupt or the window's Stop), a batch starts no further drawing; those
    // left are not started, and the ones under way finish.
    const std::atomic<bool>* stop = nullptr;
    // Set by a run's session: each folder a drawing goes into is taken for the run first, and
    // what killed runs left there is removed.
    DestinationFolders* folders = nullptr;
    // A drawing with bytes after its end converts without them (with a warning) instead of
    // failing.
    bool dropTrailingBytes = false;
    // A drawing is written as its source with the scan's edits applied, its unchanged runs copied
    // inside the system. Off: the full reader and writer run instead (the same bytes), as the
    // reference for tests and benchmarks.
    bool copyThrough = true;
};

// Everything one conversion at a time needs: the two documents, an image store with its temp
// folder, and the file system. One per thread.
struct ConversionContext {
    explicit ConversionContext(FileSystem& fileSystem) : fs(&fileSystem), images(fileSystem) {}

    FileSystem* fs;
    FileBytes input;                       // the drawing being converted, as read; its memory serves file after file
    std::unique_ptr<InputFile> inputFile;  // the file it was read from, still open
    bool inputUnchanged = false;           // nothing wrote that file since it was opened
    // The scan of the drawing and its edits; its memory serves file after file too.
    DrawingScan scan;
    JwwDocument jww;
    JwsDocument jws;
    ImageStore images;
    ConvertSettings settings;
    // Set by the batch for one drawing: its ".BAK" already keeps an old file that an earlier
    // drawing of the batch replaced (the source named here), which must not be replaced.
    const std::string* backupTakenBy = nullptr;
    // The folder the last drawing went into, held for the next one into the same folder.
    LastFolder lastFolder;

    // Set by a batch that syncs, where the file system can be synced as a whole: a converted
    // drawing is then written into its temp file unsynced and waits here, and FinishWaiting
    // syncs the waiting ones together (one sync instead of one per drawing) and puts each in
    // place. Its result is final only then.
    bool syncInGroups = false;
    struct Waiting {
        PendingReplace replace;
        FileResult result;
    };
    std::vector<Waiting> waiting;
};

// Syncs the file systems of the drawings waiting in ctx, puts each in its destination's place,
// makes the renames durable with a second sync, and returns their results in the order they
// waited. A drawing whose file system cannot be synced fails, with its temp file removed.
std::vector<FileResult> FinishWaiting(ConversionContext& ctx);

// Converts one JWW drawing into dest: read, mark, write a temp file beside dest, keep an old
// dest as ".BAK", rename. dest is untouched unless the whole drawing was written.
FileResult ConvertJww(ConversionContext& ctx, const std::filesystem::path& source, const std::filesystem::path& dest);
FileResult ConvertJws(ConversionContext& ctx, const std::filesystem::path& source, const std::filesystem::path& dest);

// Chooses by extension and signature: a JWW or JWS drawing is converted, any other file that
// was read skipped. A file the user named (rather than one found in a folder) that is not
// there, or is a folder, fails. onStart, when given, is called once a drawing is recognised and
// its conversion begins.
FileResult ConvertFile(ConversionContext& ctx, const std::filesystem::path& source, const std::filesystem::path& dest,
                       bool named = false, const std::function<void()>& onStart = {});

}  // namespace quellmark
