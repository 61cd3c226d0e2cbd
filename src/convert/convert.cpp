// The per-file routines: a JWW or JWS drawing read whole, marked, and put in place of its
// destination; anything else skipped with the reason.
#include "convert.h"

#include "../drawing/Func_.h"
#include "../drawing/dimensions.h"
#include "../drawing/drawing_file.h"
#include "replace.h"

#include <algorithm>
#include <map>

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

FileResult Failed(FileResult r, Failure failure) {
    r.outcome = Outcome::Failed;
    r.failure = std::move(failure);
    return r;
}

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

// Gives the written temp file the source's modification time before it takes the destination's
// name, so the drawing never stands there with another time. (Straight to the real file system:
// the seam has no call for times.) On failure the temp file goes.
bool KeepModificationTime(ConversionContext& ctx, const fs::path& source, const fs::path& temp,
                          Failure* failure) {
    const std::error_code ec = CopyModificationTime(source, temp);
    if (!ec) return true;
    (void)ctx.fs->remove(temp);
    if (failure) {
        *failure = MakeFailure(FailureKind::CannotWrite,
                               "cannot keep the modification time of " + source.filename().string() + ": " +
                                   ErrorText(ec),
                               -1, Section::None, ec);
    }
    return false;
}

// The steps both formats share once they know how to read and write their document: parse the
// drawing read whole into ctx.input, mark the dimensions, and unless this is a dry run, replace
// dest.
template <typename Document, typename Read, typename Write>
FileResult ConvertDrawing(ConversionContext& ctx, FileResult r, Document& doc, const Read& read,
                          const Write& write) {
    Failure failure;
    r.bytesIn = ctx.input.size();
    const bool ok = read(ctx.input, failure);
    r.version = doc.Header.Version;
    if (!ok) return Failed(r, failure);
    r.writtenVersion = WrittenVersion(r.format, r.version);
    if (doc.TrailingBytes > 0) {
        r.warnings.push_back(std::to_string(doc.TrailingBytes) + " bytes after the end of the drawing were not kept");
    }
    const DimensionTally tally = AddDimensionAttributes(doc, r.version);
    r.dimensions = tally.dimensions;
    r.marked = tally.marked;
    if (ctx.settings.dryRun) {
        r.outcome = Outcome::WouldConvert;
        return r;
    }
    const ReplaceSettings settings{ctx.settings.sync, ctx.settings.createFoldersBelow, ctx.settings.sweep};
    const auto writeTo = [&](const fs::path& temp, const WriteSettings& ws, Failure* f) {
        return write(temp, r.version, f, ws) &&
               (!ctx.settings.keepTimes || KeepModificationTime(ctx, r.source, temp, f));
    };
    if (ctx.syncInGroups && ctx.settings.sync) {
        ReplaceSettings unsynced = settings;
        unsynced.sync = false;
        ConversionContext::Waiting waiting;
        if (!WriteBeside(*ctx.fs, r.dest, unsynced, writeTo, r.bytesOut, waiting.replace, &failure)) {
            return Failed(r, failure);
        }
        r.outcome = Outcome::Converted;
        waiting.result = r;
        ctx.waiting.push_back(std::move(waiting));
        return r;
    }
    if (!ReplaceWith(*ctx.fs, r.dest, settings, writeTo, r.bytesOut, &failure)) return Failed(r, failure);
    r.outcome = Outcome::Converted;
    return r;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Converted: return "converted";
        case Outcome::Skipped: return "skipped";
        case Outcome::Failed: return "failed";
        case Outcome::WouldConvert: return "would-convert";
        case Outcome::NotStarted: return "not-started";
    }
    return "";
}

std::string UpperExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : UpperSjis(name.substr(dot));
}

namespace {

// ConvertJww and ConvertJws on a drawing already read into ctx.input.
FileResult ConvertJwwInput(ConversionContext& ctx, const fs::path& source, const fs::path& dest) {
    JwwCleanup cleanup{ctx};
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
    return ConvertDrawing(
        ctx, Result(source, dest, DrawingFormat::Jws), ctx.jws,
        [&](const FileBytes& bytes, Failure& failure) { return ReadJwsBytes(ctx.jws, bytes, &failure); },
        [&](const fs::path& temp, std::int32_t version, Failure* failure, const WriteSettings& settings) {
            return WriteJwsFile(ctx.jws, temp, version, failure, settings, *ctx.fs);
        });
}

template <typename ConvertInput>
FileResult ReadAndConvert(ConversionContext& ctx, const fs::path& source, const fs::path& dest,
                          DrawingFormat format, ConvertInput convert) {
    Failure failure;
    if (!ReadDrawingBytes(*ctx.fs, source, ctx.input, &failure)) return Failed(Result(source, dest, format), failure);
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
        Failure failure;
        if (const std::error_code ec = synced[r.dest.parent_path()]) {
            (void)files.remove(w.replace.temp);
            r = Failed(r, MakeFailure(FailureKind::CannotWrite, "cannot sync: " + ErrorText(ec), -1, Section::None, ec));
        } else if (!PutInPlace(files, w.replace, false, &failure)) {
            r = Failed(r, failure);
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

FileResult ConvertFile(ConversionContext& ctx, const fs::path& source, const fs::path& dest,
                       const std::function<void()>& onStart) {
    const std::string ext = UpperExtension(source.filename().string());
    FileResult r = Result(source, dest, DrawingFormat::None);
    if (ext != ".JWW" && ext != ".JWS") {
        r.outcome = Outcome::Skipped;
        r.failure = MakeFailure(FailureKind::NotADrawing, "not a .jww or .jws file");
        return r;
    }
    // Only a file that was read and is no drawing is skipped; one that cannot be read failed. The
    // file is read whole once, and the signature looked at in memory.
    const std::string_view signature = ext == ".JWW" ? kJwwSignature : kJwsSignature;
    Failure failure;
    if (!ReadDrawingBytes(*ctx.fs, source, ctx.input, &failure)) return Failed(r, failure);
    if (ctx.input.size() < signature.size() ||
        !std::equal(signature.begin(), signature.end(), ctx.input.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; })) {
        r.outcome = Outcome::Skipped;
        r.failure = MakeFailure(FailureKind::NotADrawing, "does not start with the " + ext.substr(1) + " signature");
        return r;
    }
    if (std::string why = ForbiddenDestinationReason(dest, ctx.settings.createFoldersBelow); !why.empty()) {
        return Failed(r, MakeFailure(FailureKind::CannotWrite, std::move(why)));
    }
    if (onStart) onStart();
    return ext == ".JWW" ? ConvertJwwInput(ctx, source, dest) : ConvertJwsInput(ctx, source, dest);
}

}  // namespace quellmark
