// Why a file of a batch did not convert: every failure the formats report, and those only a
// batch has (the old file cannot be kept, another drawing of the batch took the name, the batch
// stopped first). Code decides by the kind; people read the message.
#pragma once

#include "../drawing/error.h"

#include <cstdint>
#include <string>
#include <system_error>

namespace quellmark {

enum class ProblemKind : std::uint8_t {
    None,
    Truncated,
    Malformed,
    NotADrawing,       // a skip, not a failure
    CannotRead,
    CannotWrite,
    TooLarge,
    Internal,
    CannotKeepBackup,  // the old destination file cannot become its ".BAK"
    Clash,             // another drawing of the batch already took the destination or backup name
    Interrupted,       // the batch was stopped before this drawing started
    BytesAfterEnd,     // bytes follow the end of the drawing: it may be damaged, or newer
};

// The formats' names for theirs, and "cannot-keep-backup", "clash", "interrupted",
// "bytes-after-end". Stable names for JSON.
const char* KindName(ProblemKind kind);

using Problem = BasicFailure<ProblemKind>;

Problem MakeProblem(ProblemKind kind, std::string detail, std::error_code error = {});

// A failure of the formats as a batch's problem, kind, offset and all.
Problem ProblemOf(const Failure& failure);

}  // namespace quellmark
