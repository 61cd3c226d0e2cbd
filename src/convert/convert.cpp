// The per-file routines: a JWW or JWS drawing read whole, marked, and put in place of its
// destination; anything else skipped with the reason.
#include "convert.h"

#include "../drawing/dimensions.h"
#include "../drawing/drawing_file.h"
#include "../platform/system.h"
#include "replace.h"

#include <algorithm>
#include <map>
#include <optional>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

FileResult Result(const fs::path& source, const fs::path& dest, DrawingFormat format) {
    FileResult r;
    r.source = source;
    r.dest = dest;
    r.format = format;
    return r;
}

FileResult Failed(FileResult r, Problem problem) {
    r.outcome = Outcome::Failed;
    r.failure = std::move(problem);
    return r;
}

FileResult Failed(FileResult r, const Failure& failure) { return Failed(std::move(r), ProblemOf(failure)); }

// Runs on every path out of a per-file routine: nothing of one drawing survives into the next.
struct JwwCleanup {
    ConversionContext& ctx;
    ~JwwCleanup() {
        DeleteTempImages(ctx.images);
        ClearImageList(ctx.images);
        FreeJwwDocument(ctx.jww);
    }
};

struct JwsCleanup {
    ConversionContext& ctx;
    ~JwsCleanup() { FreeJwsDocument(ctx.jws); }
};

// A JWS drawing is written at a version its reader knows: older ones and 300 move up.
std::int32_t WrittenVersion(DrawingFormat format, std::int32_t version) {
    return format == DrawingFormat::Jws ? AdjustJwsVersion(version) : version;
}

using WriteToTemp = std::function<bool(const fs::path& temp, const WriteSettings& settings, Failure* failure)>;

// Puts a converted drawing in place of r.dest: write makes it in a temp file beside dest, which
// then replaces dest with the old file kept as ".BAK" (in a batch that syncs in groups, it waits
// to be synced first). A dry run writes nothing.
FileResult Deliver(ConversionContext& ctx, FileResult r, const WriteToTemp& write,
                   std::function<bool(InputFile&)> sameAs = {}) {
    if (ctx.settings.dryRun) {
        r.outcome = Outcome::WouldConvert;
        return r;
    }
    ReplaceSettings settings;
    settings.sync = ctx.settings.sync;
    settings.root = ctx.settings.destFolder;
    settings.rootHeld = ctx.settings.destHeld;
    settings.createFolders = ctx.settings.createFolders;
    settings.folders = ctx.settings.folders;
    settings.backupTakenBy = ctx.backupTakenBy;
    settings.lastFolder = &ctx.lastFolder;
    settings.sameAs = std::move(sameAs);
    // The time of the file as it was read, not of whatever has the source's name by now.
    if (ctx.settings.keepTimes && ctx.inputFile) settings.modified = ctx.inputFile->modified();
    Problem problem;
    const WriteToTemp& writeTo = write;
    if (ctx.syncInGroups && ctx.settings.sync) {
        ReplaceSettings unsynced = settings;
        unsynced.sync = false;
        ConversionContext::Waiting waiting;
        if (!WriteBeside(*ctx.fs, r.dest, unsynced, writeTo, r.bytesOut, waiting.replace, &problem)) {
            return Failed(r, problem);
        }
        if (waiting.replace.upToDate) {
            r.outcome = Outcome::UpToDate;
            return r;
        }
        r.outcome = Outcome::Converted;
        waiting.result = r;
        ctx.waiting.push_back(std::move(waiting));
        return r;
    }
    Replaced replaced;
    if (!ReplaceWith(*ctx.fs, r.dest, settings, writeTo, r.bytesOut, replaced, &problem)) return Failed(r, problem);
    r.madeBackup = replaced.madeBackup;
    r.outcome = replaced.upToDate ? Outcome::UpToDate : Outcome::Converted;
    return r;
}

// Bytes after the end of a drawing are not part of it, and its converted form would lose them:
// it may be damaged (a header misread leaves its entity list "after the end") or written by a
// newer program. Such a drawing fails, unless the user asked for them to be dropped. False when
// it fails.
bool TrailingBytesAllowed(const ConversionContext& ctx, FileResult& r, std::uint64_t end, std::uint64_t trailing) {
    r.trailingBytes = trailing;
    if (trailing == 0) return true;
    if (!ctx.settings.dropTrailingBytes) {
        r.outcome = Outcome::Failed;
        r.failure = BytesAfterEndProblem(end, trailing);
        return false;
    }
    r.warnings.push_back(std::to_string(trailing) + " bytes after the end of the drawing were not kept");
    return true;
}

// The full path both formats share once they know how to read and write their document: parse
// the drawing read whole into ctx.input, mark the dimensions, and deliver the document written.
template <typename Document, typename Read, typename Write>
FileResult ConvertDrawing(ConversionContext& ctx, FileResult r, Document& doc, const Read& read, const Write& write) {
    Failure failure;
    r.bytesIn = ctx.input.size();
    const bool ok = read(ctx.input, failure);
    r.version = doc.Header.Version;
    if (!ok) return Failed(r, failure);
    r.writtenVersion = WrittenVersion(r.format, r.version);
    if (!TrailingBytesAllowed(ctx, r, ctx.input.size() - doc.TrailingBytes, doc.TrailingBytes)) return r;
    const DimensionTally tally = AddDimensionAttributes(doc, r.version);
    r.dimensions = tally.dimensions;
    r.marked = tally.marked;
    return Deliver(ctx, r, [&](const fs::path& temp, const WriteSettings& ws, Failure* f) {
        return write(temp, r.version, f, ws);
    });
}

// The path users' drawings take: the drawing scanned into its edits, and delivered as its source
// with them applied, its unchanged runs copied inside the system from the file it was read from.
template <typename Scan>
FileResult ConvertEdited(ConversionContext& ctx, FileResult r, const Scan& scan) {
    DrawingScan& found = ctx.scan;
    Failure failure;
    r.bytesIn = ctx.input.size();
    const bool ok = scan(ctx.input, found, &failure);
    r.version = found.version;
    if (!ok) return Failed(r, failure);
    r.writtenVersion = found.writtenVersion;
    r.dimensions = found.tally.dimensions;
    r.marked = found.tally.marked;
    r.changes = found.changes;
    if (!TrailingBytesAllowed(ctx, r, found.end, found.trailingBytes)) return r;
    InputFile* source = ctx.inputUnchanged ? ctx.inputFile.get() : nullptr;
    return Deliver(
        ctx, std::move(r),
        [&](const fs::path& temp, const WriteSettings& ws, Failure* f) {
            return WriteEditedCopy(*ctx.fs, temp, ws, source, ctx.input, found.patches, found.edits, f);
        },
        [&](InputFile& existing) { return HoldsEditedCopy(existing, ctx.input, found.patches, found.edits); });
}

// The file a drawing was read from stays open for its copy while the drawing converts.
struct InputFileRelease {
    ConversionContext& ctx;
    ~InputFileRelease() {
        ctx.inputFile.reset();
        ctx.inputUnchanged = false;
    }
};

}  // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Converted: return "converted";
        case Outcome::Skipped: return "skipped";
        case Outcome::Failed: return "failed";
        case Outcome::WouldConvert: return "would-convert";
        case Outcome::NotStarted: return "not-started";
        case Outcome::Repeated: return "repeated";
        case Outcome::UpToDate: return "up-to-date";
    }
    return "";
}

namespace {

// ConvertJww and ConvertJws on a drawing already read into ctx.input.
FileResult ConvertJwwInput(ConversionContext& ctx, const fs::path& source, const fs::path& dest) {
    JwwCleanup cleanup{ctx};
    if (ctx.settings.copyThrough) {
        return ConvertEdited(ctx, Result(source, dest, DrawingFormat::Jww),
                             [](const FileBytes& bytes, DrawingScan& scan, Failure* failure) {
                                 return ScanJwwBytes(bytes, scan, failure);
                             });
    }
    ctx.images.KeepBytes = !ctx.settings.dryRun;
    return ConvertDrawing(
        ctx, Result(source, dest, DrawingFormat::Jww), ctx.jww,
        [&](const FileBytes& bytes, Failure& failure) { return ReadJwwBytes(ctx.jww, ctx.images, bytes, &failure); },
        [&](const fs::path& temp, std::int32_t version, Failure* failure, const WriteSettings& settings) {
            return WriteJwwFile(ctx.jww, ctx.images, temp, version, failure, settings);
        });
}

FileResult ConvertJwsInput(ConversionContext& ctx, const fs::path& source, const fs::path& dest) {
    JwsCleanup cleanup{ctx};
    if (ctx.settings.copyThrough) {
        return ConvertEdited(ctx, Result(source, dest, DrawingFormat::Jws),
                             [](const FileBytes& bytes, DrawingScan& scan, Failure* failure) {
                                 return ScanJwsBytes(bytes, scan, failure);
                             });
    }
    return ConvertDrawing(
        ctx, Result(source, dest, DrawingFormat::Jws), ctx.jws,
        [&](const FileBytes& bytes, Failure& failure) { return ReadJwsBytes(ctx.jws, bytes, &failure); },
        [&](const fs::path& temp, std::int32_t version, Failure* failure, const WriteSettings& settings) {
            return WriteJwsFile(ctx.jws, *ctx.fs, temp, version, failure, settings);
        });
}

template <typename ConvertInput>
FileResult ReadAndConvert(ConversionContext& ctx, const fs::path& source, const fs::path& dest, DrawingFormat format,
                          ConvertInput convert) {
    Failure failure;
    DrawingRead read;
    if (!ReadDrawing(*ctx.fs, source, format, ctx.input, read, &failure)) {
        FileResult r = Failed(Result(source, dest, format), failure);
        r.bytesIn = read.bytesRead;
        r.version = read.version;
        return r;
    }
    ctx.inputFile = std::move(read.file);
    ctx.inputUnchanged = read.unchanged;
    InputFileRelease release{ctx};
    return convert(ctx, source, dest);
}

}  // namespace

std::vector<FileResult> FinishWaiting(ConversionContext& ctx) {
    FileSystem& files = *ctx.fs;
    // One sync per folder written (as the user named it; synced through the folder held open).
    std::map<fs::path, std::error_code> synced;
    auto syncFolders = [&] {
        synced.clear();
        for (const ConversionContext::Waiting& w : ctx.waiting) {
            auto [it, fresh] = synced.try_emplace(w.result.dest.parent_path());
            if (fresh) it->second = files.syncFileSystem(w.replace.dest.parent_path());
        }
    };
    syncFolders();
    std::vector<FileResult> done;
    done.reserve(ctx.waiting.size());
    for (ConversionContext::Waiting& w : ctx.waiting) {
        FileResult& r = w.result;
        Problem problem;
        if (const std::error_code ec = synced[r.dest.parent_path()]) {
            // A temp file that will not go is said to the user with the run's notes.
            const std::error_code removed = files.remove(w.replace.temp);
            if (removed && removed != std::errc::no_such_file_or_directory && w.replace.folders) {
                w.replace.folders->Left(NotRemoved(RunNote::Kind::CannotRemove,
                                                   w.replace.shown.parent_path() / w.replace.temp.filename(), removed));
            }
            r = Failed(r, MakeProblem(ProblemKind::CannotWrite, "cannot sync: " + ErrorText(ec), ec));
        } else if (Replaced replaced; !PutInPlace(files, w.replace, false, replaced, &problem)) {
            r = Failed(r, problem);
        } else {
            r.madeBackup = replaced.madeBackup;
        }
        done.push_back(std::move(r));
    }
    syncFolders();  // the renames; a failure here leaves the drawings in place, as a folder sync does
    ctx.waiting.clear();
    return done;
}

FileResult ConvertJww(ConversionContext& ctx, const fs::path& source, const fs::path& dest) {
    return ReadAndConvert(ctx, source, dest, DrawingFormat::Jww, ConvertJwwInput);
}

FileResult ConvertJws(ConversionContext& ctx, const fs::path& source, const fs::path& dest) {
    return ReadAndConvert(ctx, source, dest, DrawingFormat::Jws, ConvertJwsInput);
}

FileResult ConvertFile(ConversionContext& ctx, const fs::path& source, const fs::path& dest, bool named,
                       const std::function<void()>& onStart) {
    const DrawingFormat format = FormatOfName(source);
    FileResult r = Result(source, dest, DrawingFormat::None);
    if (format == DrawingFormat::None) {
        // A name given by the user that leads nowhere was never read: a failure, not a skip.
        if (named) {
            const PathFacts facts = ctx.fs->examine(source);
            if (facts.error || facts.kind == PathKind::Missing || facts.kind == PathKind::Folder) {
                const std::error_code ec = facts.error ? facts.error
                                           : facts.kind == PathKind::Folder
                                               ? std::make_error_code(std::errc::is_a_directory)
                                               : std::make_error_code(std::errc::no_such_file_or_directory);
                return Failed(r, MakeProblem(ProblemKind::CannotRead,
                                             facts.kind == PathKind::Folder ? "is a folder, not a drawing"
                                                                            : "cannot open: " + ErrorText(ec),
                                             ec));
            }
        }
        r.outcome = Outcome::Skipped;
        r.failure = MakeProblem(ProblemKind::NotADrawing, "not a .jww or .jws file");
        return r;
    }
    // Only a file that was read and is no drawing is skipped; one that cannot be read failed. The
    // first bytes are looked at before the rest is read.
    Failure failure;
    DrawingRead read;
    const bool ok = ReadDrawing(*ctx.fs, source, format, ctx.input, read, &failure);
    r.bytesIn = read.bytesRead;
    if (!ok) {
        r.format = read.format;
        r.version = read.version;
        if (failure.kind != FailureKind::NotADrawing) return Failed(r, failure);
        r.outcome = Outcome::Skipped;
        r.failure = ProblemOf(failure);
        return r;
    }
    if (std::string why = ForbiddenDestinationReason(dest, ctx.settings.destFolder); !why.empty()) {
        return Failed(r, MakeProblem(ProblemKind::CannotWrite, std::move(why)));
    }
    if (onStart) onStart();
    ctx.inputFile = std::move(read.file);
    ctx.inputUnchanged = read.unchanged;
    InputFileRelease release{ctx};
    return format == DrawingFormat::Jww ? ConvertJwwInput(ctx, source, dest) : ConvertJwsInput(ctx, source, dest);
}

}  // namespace quellmark
