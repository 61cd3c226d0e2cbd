// Reading, signature checks and failure-safe writing of drawing files.
#include "drawing_file.h"

#include <algorithm>
#include <new>

namespace quellmark {

namespace {

void Set(Failure* failure, std::string reason, std::int64_t offset = -1) {
    if (failure) *failure = Failure{std::move(reason), offset};
}

}  // namespace

bool CatchDrawingFailure(const std::function<void()>& step, Failure* failure) {
    try {
        step();
        return true;
    } catch (const DrawingError& e) {
        if (failure) *failure = e.failure();
    } catch (const std::bad_alloc&) {
        Set(failure, "out of memory");
    } catch (const std::exception& e) {
        Set(failure, e.what());
    }
    return false;
}

bool ReadDrawingBytes(FileSystem& fs, const std::filesystem::path& path, FileBytes& out,
                      Failure* failure) {
    if (auto ec = fs.readFile(path, out)) {
        if (ec == std::errc::is_a_directory) {
            Set(failure, "is a folder, not a drawing");
        } else if (ec == std::errc::operation_not_supported) {
            Set(failure, "is not a regular file");
        } else {
            Set(failure, "cannot open: " + ErrorText(ec));
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
        Set(failure, "cannot create " + path.filename().string() + ": " + ErrorText(ec));
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
                if (auto ec = file->sync()) throw DrawingError("cannot sync: " + ErrorText(ec));
            }
            if (auto ec = file->close()) throw DrawingError("cannot close: " + ErrorText(ec));
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
