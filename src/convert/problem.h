// Why a file of a batch did not convert: every failure the formats report, and those only a
// batch has (the old file cannot be kept, another drawing of the batch took the name, the batch
// stopped first). Code decides by the kind; people read the message.
#pragma once

#include "../drawing/error.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace quellmark {

enum class ProblemKind : std::uint8_t {
    None,
    Truncated,
    Malformed,
    NotADrawing,  // a skip, not a failure
    CannotRead,
    CannotWrite,
    TooLarge,
    Internal,
    CannotKeepBackup,  // the old destination file cannot become its ".BAK"
    Clash,             // another drawing of the batch already took the destination name
    BackupClash,       // the ".BAK" keeps the old file another drawing of the batch replaced
                       // (plan.jww and plan.jws into one folder share plan.BAK)
    Interrupted,       // the batch was stopped before this drawing started
    DestinationMoved,  // the destination folder was moved away (to the Trash, say) before it started
    BytesAfterEnd,     // bytes follow the end of the drawing: it may be damaged, or newer
};

// The formats' names for theirs, and "cannot-keep-backup", "clash", "backup-clash",
// "interrupted", "destination-moved", "bytes-after-end". Stable names for JSON.
const char* KindName(ProblemKind kind);

using Problem = BasicFailure<ProblemKind>;

Problem MakeProblem(ProblemKind kind, std::string detail, std::error_code error = {});

// Bytes after the end of a drawing (at offset `end`): "N bytes after the end of the drawing".
Problem BytesAfterEndProblem(std::uint64_t end, std::uint64_t trailing);

// A failure of the formats as a batch's problem, kind, offset and all.
Problem ProblemOf(const Failure& failure);

// What the user should know of a run itself, never of one drawing and never a failure: a file
// or folder it could not remove, its own or what a killed run left, and files another user's
// killed run left that only that user may remove.
struct RunNote {
    enum class Kind : std::uint8_t {
        CannotRemove,          // the run's own temp file, record or mark
        CannotRemoveLeftover,  // left by a run that was killed
        OthersLeft,            // `count` files of another user's killed run in the folder `path`
        DestinationMoved,      // DEST (`path`) was moved during the run, to `movedTo` where known
    };
    Kind kind = Kind::CannotRemove;
    std::filesystem::path path;  // as the user knows it
    std::error_code error;       // why it could not be removed
    std::int64_t count = 0;
    std::filesystem::path movedTo;

    // For people, in English: "cannot remove out/.qm-1.tmp: permission denied".
    std::string message() const;
};

// A file or folder the run could not remove (kind CannotRemove or CannotRemoveLeftover).
RunNote NotRemoved(RunNote::Kind kind, std::filesystem::path path, std::error_code error);

}  // namespace quellmark
