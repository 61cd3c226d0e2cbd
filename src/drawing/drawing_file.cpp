// Failure-safe writing of drawing files, and failures caught where a named operation ends.
#include "drawing_file.h"

#include "../platform/system.h"

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

bool WriteDrawingFile(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings,
                      const std::function<void(ByteWriter&)>& body, Failure* failure) {
    std::unique_ptr<OutputFile> file;
    if (auto ec = settings.exclusive ? fs.createNew(path, file) : fs.create(path, file)) {
        const std::string name = settings.shownName.empty() ? PathText(path.filename()) : settings.shownName;
        Set(failure, FailureKind::CannotWrite, "cannot create " + name + ": " + ErrorText(ec), ec);
        return false;
    }
    bool ok = CatchDrawingFailure(
        [&] {
            FileSink sink(*file);
            ByteWriter writer(sink);
            body(writer);
            writer.flush();
            if (settings.bytesWritten) *settings.bytesWritten = writer.offset();
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

}  // namespace quellmark
