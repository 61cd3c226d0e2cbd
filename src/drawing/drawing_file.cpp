// Reading, signature checks and failure-safe writing of drawing files.
#include "drawing_file.h"

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
        Set(failure, FailureKind::CannotRead, "out of memory");
    } catch (const std::exception& e) {
        Set(failure, FailureKind::Malformed, e.what());
    }
    return false;
}

bool ReadDrawingBytes(FileSystem& fs, const std::filesystem::path& path, FileBytes& out,
                      Failure* failure) {
    if (auto ec = fs.readFile(path, out)) {
        if (ec == std::errc::is_a_directory) {
            Set(failure, FailureKind::CannotRead, "is a folder, not a drawing", ec);
        } else if (ec == std::errc::operation_not_supported) {
            Set(failure, FailureKind::CannotRead, "is not a regular file", ec);
        } else {
            Set(failure, FailureKind::CannotRead, "cannot open: " + ErrorText(ec), ec);
        }
        return false;
    }
    return true;
}

bool HasSignature(FileSystem& fs, const std::filesystem::path& path, std::string_view signature) {
    FileBytes head;
    if (fs.readFile(path, head, signature.size())) return false;
    return head.size() == signature.size() &&
           std::equal(head.begin(), head.end(), signature.begin(),
                      [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
}

bool WriteDrawingFile(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings,
                      const std::function<void(ByteWriter&)>& body, Failure* failure) {
    std::unique_ptr<OutputFile> file;
    if (auto ec = settings.exclusive ? fs.createNew(path, file) : fs.create(path, file)) {
        const std::string name = settings.shownName.empty() ? path.filename().string() : settings.shownName;
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
