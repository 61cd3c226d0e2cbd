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

// Creates (or replaces) the file and lets body write the drawing into it. On any failure the
// file is closed and removed, failure says why, and the result is false. Never throws.
[[nodiscard]] bool WriteDrawingFile(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings,
                                    const std::function<void(ByteWriter&)>& body, Failure* failure);

struct FlagsPatch;
class EditList;

// A run of bytes of a drawing, [begin, end).
struct ByteRange {
    std::uint64_t begin;
    std::uint64_t end;
};

// How a converted drawing is made from its source and its edits. The first `shared` bytes keep
// their places: the runs of them between the blocks that hold edits are copied inside the system
// (which shares the source's blocks where the file system can), the blocks with edits (whole 4
// KiB blocks, neighbouring ones as one run) written from memory; the edits there keep their
// length, and their blocks are at most half of those bytes. What follows is written in order:
// runs of the source of kKernelRun bytes or more copied inside the system, the edits and the
// shorter runs between them from memory.
struct EditedCopyPlan {
    std::uint64_t shared = 0;
    std::vector<ByteRange> blocks;
    std::uint64_t blockBytes() const;
};
inline constexpr std::uint64_t kEditBlock = 4096;
inline constexpr std::uint64_t kKernelRun = 64 * 1024;
EditedCopyPlan PlanEditedCopy(std::uint64_t size, const std::vector<FlagsPatch>& patches, const EditList& edits);

// Writes the converted drawing that is the source (`bytes`, as read and scanned) with its edits
// applied, as PlanEditedCopy says. The copies inside the system are made from `source`, the file
// the bytes were read from (given only when it told after the reading that nothing wrote it since
// it was opened), and it is asked again after the last copy: should it have been written since it
// was opened, every copied run is written again from the bytes read. Without a source every byte is written from memory. The
// edits of the shared part are written into `bytes` themselves. Failures and settings as
// WriteDrawingFile; a failure's offset is the bytes of the file written before it.
[[nodiscard]] bool WriteEditedCopy(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings,
                                   InputFile* source, std::span<std::uint8_t> bytes,
                                   const std::vector<FlagsPatch>& patches, const EditList& edits, Failure* failure);

// Whether the open file holds exactly the converted drawing that WriteEditedCopy would write
// (the source with its edits applied): the same size, then the same bytes, read a piece at a time
// from where the file stands. False at the first difference or when the file cannot be read.
[[nodiscard]] bool HoldsEditedCopy(InputFile& file, std::span<const std::uint8_t> source,
                                   const std::vector<FlagsPatch>& patches, const EditList& edits);

// Runs a step of reading or writing and turns what it throws into a Failure: a DrawingError as
// it is, memory that ran out as TooLarge, anything else as Internal with its text. True when it
// ran through.
[[nodiscard]] bool CatchDrawingFailure(const std::function<void()>& step, Failure* failure);

}  // namespace quellmark
