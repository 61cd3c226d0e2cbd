// The batch's failure kinds and how the formats' failures become them.
#include "problem.h"

namespace quellmark {

const char* KindName(ProblemKind kind) {
    switch (kind) {
        case ProblemKind::None: return "";
        case ProblemKind::Truncated: return KindName(FailureKind::Truncated);
        case ProblemKind::Malformed: return KindName(FailureKind::Malformed);
        case ProblemKind::NotADrawing: return KindName(FailureKind::NotADrawing);
        case ProblemKind::CannotRead: return KindName(FailureKind::CannotRead);
        case ProblemKind::CannotWrite: return KindName(FailureKind::CannotWrite);
        case ProblemKind::TooLarge: return KindName(FailureKind::TooLarge);
        case ProblemKind::Internal: return KindName(FailureKind::Internal);
        case ProblemKind::CannotKeepBackup: return "cannot-keep-backup";
        case ProblemKind::Clash: return "clash";
        case ProblemKind::Interrupted: return "interrupted";
        case ProblemKind::BytesAfterEnd: return "bytes-after-end";
    }
    return "";
}

Problem MakeProblem(ProblemKind kind, std::string detail, std::error_code error) {
    return Problem{kind, std::move(detail), -1, Section::None, error};
}

Problem ProblemOf(const Failure& failure) {
    ProblemKind kind = ProblemKind::None;
    switch (failure.kind) {
        case FailureKind::None: kind = ProblemKind::None; break;
        case FailureKind::Truncated: kind = ProblemKind::Truncated; break;
        case FailureKind::Malformed: kind = ProblemKind::Malformed; break;
        case FailureKind::NotADrawing: kind = ProblemKind::NotADrawing; break;
        case FailureKind::CannotRead: kind = ProblemKind::CannotRead; break;
        case FailureKind::CannotWrite: kind = ProblemKind::CannotWrite; break;
        case FailureKind::TooLarge: kind = ProblemKind::TooLarge; break;
        case FailureKind::Internal: kind = ProblemKind::Internal; break;
    }
    return Problem{kind, failure.detail, failure.offset, failure.section, failure.error};
}

}  // namespace quellmark
