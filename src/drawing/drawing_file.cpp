// Failure-safe writing of drawing files, and failures caught where a named operation ends.
#include "drawing_file.h"

#include "../platform/system.h"
#include "scan.h"

#include <algorithm>
#include <new>

namespace quellmark {

namespace {

void Set(Failure* failure, FailureKind kind, std::string detail, std::error_code ec = {}) {
    if (failure) *failure = MakeFailure(kind, std::move(detail), -1, Section::None, ec);
}

}  // namespace

bool CatchDrawingFailure(const std::function<void()>& step, Failure* failure) {
    try {
        step();
        return true;
    } catch (const DrawingError& e) {
        if (failure) *failure = e.failure();
    } catch (const std::bad_alloc&) {
        Set(failure, FailureKind::TooLarge, "too large for memory");
    } catch (const std::exception& e) {
        Set(failure, FailureKind::Internal, std::string("internal error: ") + e.what());
    }
    return false;
}

void FileSink::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    const std::error_code ec = file_.write(bytes, done);
    written_ += done;
    if (ec) {
        // The offset is the first byte that did not reach the file.
        throw DrawingError(FailureKind::CannotWrite, "cannot write: " + ErrorText(ec),
                           static_cast<std::int64_t>(written_), Section::None, ec);
    }
}

namespace {

// Creates (or replaces) the file and lets body fill it, returning the bytes it holds; then syncs
// and closes it as the settings ask. On any failure the file is closed and removed.
bool WriteWholeFile(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings,
                    const std::function<std::uint64_t(OutputFile&)>& body, Failure* failure) {
    std::unique_ptr<OutputFile> file;
    if (auto ec = settings.exclusive ? fs.createNew(path, file) : fs.create(path, file)) {
        const std::string name = settings.shownName.empty() ? PathText(path.filename()) : settings.shownName;
        Set(failure, FailureKind::CannotWrite, "cannot create " + name + ": " + ErrorText(ec), ec);
        return false;
    }
    bool ok = CatchDrawingFailure(
        [&] {
            const std::uint64_t written = body(*file);
            if (settings.bytesWritten) *settings.bytesWritten = written;
            if (settings.beforeClose) settings.beforeClose(*file);
            if (settings.sync) {
                if (auto ec = file->sync()) {
                    throw DrawingError(FailureKind::CannotWrite, "cannot sync: " + ErrorText(ec), -1, Section::None, ec);
                }
            }
            if (auto ec = file->close()) {
                throw DrawingError(FailureKind::CannotWrite, "cannot close: " + ErrorText(ec), -1, Section::None, ec);
            }
        },
        failure);
    if (!ok) {
        if (settings.bytesWritten) *settings.bytesWritten = 0;
        file.reset();  // closes the file if it is still open
        (void)fs.remove(path);
    }
    return ok;
}

[[noreturn]] void ThrowWriteFailure(const std::error_code& ec, std::uint64_t at) {
    throw DrawingError(FailureKind::CannotWrite, "cannot write: " + ErrorText(ec), static_cast<std::int64_t>(at),
                       Section::None, ec);
}

}  // namespace

bool WriteDrawingFile(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings,
                      const std::function<void(ByteWriter&)>& body, Failure* failure) {
    return WriteWholeFile(
        fs, path, settings,
        [&](OutputFile& file) {
            FileSink sink(file);
            ByteWriter writer(sink);
            body(writer);
            writer.flush();
            return writer.offset();
        },
        failure);
}

bool WritePatchedCopy(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings, InputFile* source,
                      std::span<std::uint8_t> bytes, const std::vector<FlagsPatch>& patches, Failure* failure) {
    if (!CatchDrawingFailure([&] { ApplyPatches(bytes, patches); }, failure)) return false;
    return WriteWholeFile(
        fs, path, settings,
        [&](OutputFile& file) -> std::uint64_t {
            const std::uint64_t size = bytes.size();
            const std::vector<PatchSpan> spans = PatchedSpans(patches, size);
            const std::uint64_t patched = SpanBytes(spans);
            bool copied = false;
            if (source != nullptr && CopyAndPatchPays(patched, size) && source->unchanged()) {
                if (auto ec = file.copyFrom(*source, size, copied)) ThrowWriteFailure(ec, 0);
            }
            if (copied && source->unchanged()) {
                for (const PatchSpan& span : spans) {
                    const auto piece = bytes.subspan(static_cast<std::size_t>(span.begin),
                                                     static_cast<std::size_t>(span.end - span.begin));
                    if (auto ec = file.writeAt(span.begin, piece)) ThrowWriteFailure(ec, span.begin);
                }
            } else if (copied) {
                // The source changed under the copy: what was read and checked is written instead.
                if (auto ec = file.writeAt(0, bytes)) ThrowWriteFailure(ec, 0);
            } else {
                std::size_t written = 0;
                if (auto ec = file.write(bytes, written)) ThrowWriteFailure(ec, written);
            }
            return size;
        },
        failure);
}

}  // namespace quellmark
