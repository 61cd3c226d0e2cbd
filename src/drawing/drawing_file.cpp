// Failure-safe writing of drawing files, and failures caught where a named operation ends.
#include "drawing_file.h"

#include "../platform/system.h"
#include "edits.h"

#include <algorithm>
#include <new>

namespace quellmark {

namespace {

void Set(Failure* failure, FailureKind kind, std::string detail, std::error_code ec = {}) {
    if (failure) *failure = MakeFailure(kind, std::move(detail), -1, Section::None, ec);
}

// A write that failed after `at` bytes of the file went out.
[[noreturn]] void ThrowWriteFailure(const std::error_code& ec, std::uint64_t at) {
    throw DrawingError(FailureKind::CannotWrite, "cannot write: " + ErrorText(ec), static_cast<std::int64_t>(at),
                       Section::None, ec);
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
    if (ec) ThrowWriteFailure(ec, written_);  // the first byte that did not reach the file
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
                    throw DrawingError(FailureKind::CannotWrite, "cannot sync: " + ErrorText(ec), -1, Section::None,
                                       ec);
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
        (void)fs.remove(path);  // the failure to report is the write's; a temp file left is swept
    }
    return ok;
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

std::uint64_t EditedCopyPlan::blockBytes() const {
    std::uint64_t total = 0;
    for (const ByteRange& block : blocks) total += block.end - block.begin;
    return total;
}

EditedCopyPlan PlanEditedCopy(std::uint64_t size, const std::vector<FlagsPatch>& patches, const EditList& edits) {
    // Bytes stay where they are up to the first edit that changes its length.
    std::uint64_t kept = size;
    for (const Edit& edit : edits.edits()) {
        if (edit.size != edit.length) {
            kept = edit.offset;
            break;
        }
    }
    std::vector<ByteRange> blocks;
    ForEachEdit(
        patches, edits,
        [&](const EditView& edit) {
            const std::uint64_t begin = edit.offset / kEditBlock * kEditBlock;
            const std::uint64_t end =
                std::min(size, (edit.offset + edit.length + kEditBlock - 1) / kEditBlock * kEditBlock);
            if (!blocks.empty() && begin <= blocks.back().end) {
                blocks.back().end = std::max(blocks.back().end, end);
            } else {
                blocks.push_back({begin, end});
            }
        },
        kept);
    // The copy ends at a block's start, before the run of blocks that holds the first edit of
    // another length, or at the source's end.
    EditedCopyPlan plan;
    plan.shared = kept == size ? size : kept / kEditBlock * kEditBlock;
    while (!blocks.empty() && blocks.back().begin >= plan.shared) blocks.pop_back();
    if (!blocks.empty() && blocks.back().end > plan.shared) {
        plan.shared = blocks.back().begin;
        blocks.pop_back();
    }
    plan.blocks = std::move(blocks);
    // Where the blocks to write are more than half of the copy, writing it all costs less.
    if (plan.shared == 0 || plan.blockBytes() > plan.shared / 2) return {};
    return plan;
}

namespace {

// Writes a converted drawing into its file front to back.
class EditedCopyWriter {
public:
    EditedCopyWriter(OutputFile& file, InputFile* source, std::span<std::uint8_t> bytes)
        : file_(file), source_(source), bytes_(bytes) {}

    std::uint64_t write(const std::vector<FlagsPatch>& patches, const EditList& edits) {
        const EditedCopyPlan plan = PlanEditedCopy(bytes_.size(), patches, edits);
        std::uint64_t from = 0;
        if (plan.shared > 0 && mayCopy()) {
            // The shared part in order: the runs between the blocks with edits copied (each
            // begins and ends at a block's edge, so the file system can share it), the blocks
            // written anew from the bytes read with their edits. No block that was shared is
            // written over, which would make the file system copy it first.
            ApplyInPlace(bytes_, patches, edits, 0, plan.shared);
            for (const ByteRange& block : plan.blocks) {
                copyOrGather(from, block.begin - from);
                gather(block.begin, block.end - block.begin);
                from = block.end;
            }
            copyOrGather(from, plan.shared - from);
            from = plan.shared;
        }
        // Past the copy each edit that keeps its length is written into the bytes read as it
        // comes, so what goes out is spans of those bytes, each up to an edit of another length
        // (whose bytes lie in the edit list) or to a run of kKernelRun bytes or more that no edit
        // touches, which is copied inside the system.
        std::uint64_t span = from;  // where the bytes read not yet gathered begin
        ForEachPiece(
            bytes_.size(), patches, edits,
            [&](std::uint64_t at, std::uint64_t length) {
                if (length < kKernelRun || !mayCopy()) return;
                gather(span, at - span);
                span = at;
                flush();
                if (copy(at, length)) span = at + length;
            },
            [&](const EditView& edit) {
                if (edit.bytes.size() == edit.length) {
                    std::copy(edit.bytes.begin(), edit.bytes.end(),
                              bytes_.begin() + static_cast<std::ptrdiff_t>(edit.offset));
                    return;
                }
                gather(span, edit.offset - span);
                gather(edit.bytes);
                span = edit.offset + edit.length;
            },
            from);
        gather(span, bytes_.size() - span);
        flush();
        // A source written while it was copied may have given the copies other bytes than those
        // read: they are written again from what was read (the shared part edited in place).
        if (!copied_.empty() && source_->sinceOpened() != SinceOpened::Unchanged) {
            for (const Copied& run : copied_) {
                writeAt(run.to,
                        bytes_.subspan(static_cast<std::size_t>(run.from), static_cast<std::size_t>(run.length)));
            }
        }
        return written_;
    }

private:
    struct Copied {
        std::uint64_t to;
        std::uint64_t from;
        std::uint64_t length;
    };
    // Pieces go out together once there are this many, or this many bytes of them.
    static constexpr std::size_t kGatheredPieces = 1024;
    static constexpr std::size_t kGatheredBytes = std::size_t{8} << 20;
    // A piece shorter than kSmallPiece costs the system more as a piece of its own than copying
    // its bytes here does: such pieces are copied one after the other into the staging buffer,
    // which goes out as one piece (a drawing whose version moves up has an edit in every record).
    static constexpr std::size_t kSmallPiece = 256;
    static constexpr std::size_t kStagingBytes = 64 * 1024;

    // Whether copies inside the system may still be made: from a source given (one the reading
    // found unchanged since it was opened), until one cannot be made. The source is not asked
    // again before the first copy: it is asked after the last one, against the same moment it
    // was opened, so a write at any time before or during the copies is seen there and every
    // copied run written again from the bytes read.
    bool mayCopy() const { return copying_; }
    // Appends the source's run inside the system; false, with nothing written, where it cannot.
    bool copy(std::uint64_t from, std::uint64_t length) {
        if (!mayCopy()) return false;
        std::uint64_t done = 0;
        const std::error_code ec = file_.copyFrom(*source_, from, length, done);
        if (ec == std::errc::operation_not_supported && done == 0) {
            copying_ = false;
            return false;
        }
        if (ec) ThrowWriteFailure(ec, written_ + done);
        copied_.push_back({written_, from, done});
        written_ += done;
        // The source ended before the run did: it was written meanwhile, and what was read goes in.
        if (done < length) {
            put(bytes_.subspan(static_cast<std::size_t>(from + done), static_cast<std::size_t>(length - done)));
        }
        return true;
    }
    void put(std::span<const std::uint8_t> piece) {
        std::size_t done = 0;
        if (auto ec = file_.write(piece, done)) ThrowWriteFailure(ec, written_ + done);
        written_ += piece.size();
    }
    void writeAt(std::uint64_t at, std::span<const std::uint8_t> piece) {
        if (auto ec = file_.writeAt(at, piece)) ThrowWriteFailure(ec, at);
    }
    // A run of the source that no edit touches: copied inside the system where it may be.
    void copyOrGather(std::uint64_t at, std::uint64_t length) {
        if (length == 0) return;
        flush();
        if (!copy(at, length)) gather(at, length);
    }
    // Pieces wait to go out together: the bytes read from `at`, or an edit's new bytes, which
    // both last as long as the writer.
    void gather(std::uint64_t at, std::uint64_t length) {
        gather(std::span<const std::uint8_t>(bytes_).subspan(static_cast<std::size_t>(at),
                                                             static_cast<std::size_t>(length)));
    }
    void gather(std::span<const std::uint8_t> piece) {
        if (piece.empty()) return;
        if (piece.size() < kSmallPiece) {
            if (staging_.size() + piece.size() > kStagingBytes) flush();
            if (staging_.capacity() < kStagingBytes) staging_.reserve(kStagingBytes);
            // Within its capacity the buffer never moves, so pieces already gathered stay valid.
            const std::size_t at = staging_.size();
            staging_.insert(staging_.end(), piece.begin(), piece.end());
            piece = std::span<const std::uint8_t>(staging_).subspan(at);
        }
        // A piece that goes on where the last one ends joins it.
        if (!gathered_.empty() && gathered_.back().data() + gathered_.back().size() == piece.data()) {
            gathered_.back() =
                std::span<const std::uint8_t>(gathered_.back().data(), gathered_.back().size() + piece.size());
        } else {
            gathered_.push_back(piece);
        }
        gatheredBytes_ += piece.size();
        if (gathered_.size() >= kGatheredPieces || gatheredBytes_ >= kGatheredBytes) flush();
    }
    void flush() {
        if (gathered_.empty()) return;
        std::size_t done = 0;
        if (auto ec = file_.writeGathered(gathered_, done)) ThrowWriteFailure(ec, written_ + done);
        written_ += gatheredBytes_;
        gathered_.clear();
        gatheredBytes_ = 0;
        staging_.clear();
    }

    OutputFile& file_;
    InputFile* source_;
    std::span<std::uint8_t> bytes_;
    bool copying_ = source_ != nullptr;
    std::uint64_t written_ = 0;
    std::vector<Copied> copied_;
    std::vector<std::span<const std::uint8_t>> gathered_;
    std::size_t gatheredBytes_ = 0;
    std::vector<std::uint8_t> staging_;
};

}  // namespace

bool WriteEditedCopy(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings, InputFile* source,
                     std::span<std::uint8_t> bytes, const std::vector<FlagsPatch>& patches, const EditList& edits,
                     Failure* failure) {
    return WriteWholeFile(
        fs, path, settings,
        [&](OutputFile& file) { return EditedCopyWriter(file, source, bytes).write(patches, edits); }, failure);
}

bool HoldsEditedCopy(InputFile& file, std::span<const std::uint8_t> source, const std::vector<FlagsPatch>& patches,
                     const EditList& edits) {
    const std::int64_t size = static_cast<std::int64_t>(source.size()) + edits.growth();
    if (size < 0 || file.size() != static_cast<std::uint64_t>(size)) return false;
    // The file's bytes come in a piece at a time and are held against each run of the drawing.
    std::vector<std::uint8_t> buffer(std::min<std::size_t>(static_cast<std::size_t>(size), std::size_t{1} << 20));
    std::size_t held = 0;
    std::size_t used = 0;
    bool same = true;
    auto against = [&](std::span<const std::uint8_t> expected) {
        while (same && !expected.empty()) {
            if (used == held) {
                used = held = 0;
                if (file.read(buffer, held) || held == 0) return void(same = false);
            }
            const std::size_t n = std::min(expected.size(), held - used);
            same = std::equal(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(n),
                              buffer.begin() + static_cast<std::ptrdiff_t>(used));
            used += n;
            expected = expected.subspan(n);
        }
    };
    const bool walked = CatchDrawingFailure(
        [&] {
            ForEachPiece(
                source.size(), patches, edits,
                [&](std::uint64_t at, std::uint64_t length) {
                    against(source.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(length)));
                },
                [&](const EditView& edit) { against(edit.bytes); });
        },
        nullptr);
    return walked && same;
}

}  // namespace quellmark
