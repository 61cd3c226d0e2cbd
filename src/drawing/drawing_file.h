// What the JWW and JWS file operations share: a drawing written through a buffer into a file
// that is removed again when anything fails, and failures caught where a named operation ends.
#pragma once

#include "bytes.h"
#include "error.h"
#include "../platform/files.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmark {

// A ByteSink over an OutputFile: a failed write throws DrawingError with the reason and the
// offset of the first byte that could not be written.
class FileSink final : public ByteSink {
public:
    explicit FileSink(OutputFile& file) : file_(file) {}
    void write(std::span<const std::uint8_t> bytes) override;

private:
    OutputFile& file_;
    std::uint64_t written_ = 0;
};

struct WriteSettings {
    bool sync = false;       // push the file to the device before closing it
    bool exclusive = false;  // fail rather than replace a file that is already there
    std::uint64_t* bytesWritten = nullptr;  // receives the size of the file written
    // How a failure to create the file names it ("a temporary file beside A.JWW"); empty: the
    // file's own name.
    std::string shownName;
    // Called once everything is written, before the sync and the close, to act on the file
    // through its handle (its attributes and times); throws DrawingError to fail the write.
    std::function<void(OutputFile&)> beforeClose;
};

struct FlagsPatch;

// Creates (or replaces) the file and lets body write the drawing into it. On any failure the
// file is closed and removed, failure says why, and the result is false. Never throws.
bool WriteDrawingFile(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings,
                      const std::function<void(ByteWriter&)>& body, Failure* failure);

// Writes the drawing that is the source with flags words written over it (copy-through): the
// patches go into bytes (the source as read), then the file is made as a copy of source inside
// the system, with the blocks that hold patches written over it, when the source file still
// holds what was read and the patches are few; otherwise bytes are written whole. Failures and
// settings as WriteDrawingFile.
bool WritePatchedCopy(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings, InputFile* source,
                      std::span<std::uint8_t> bytes, const std::vector<FlagsPatch>& patches, Failure* failure);

// Runs a step of reading or writing and turns what it throws into a Failure: a DrawingError as
// it is, memory that ran out as TooLarge, anything else as Internal with its text. True when it
// ran through.
bool CatchDrawingFailure(const std::function<void()>& step, Failure* failure);

}  // namespace quellmark
