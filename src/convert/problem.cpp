// The batch's failure kinds and how the formats' failures become them.
#include "problem.h"

#include "../platform/system.h"

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
        case ProblemKind::BackupClash: return "backup-clash";
        case ProblemKind::Interrupted: return "interrupted";
        case ProblemKind::DestinationMoved: return "destination-moved";
        case ProblemKind::BytesAfterEnd: return "bytes-after-end";
    }
    return "";
}

Problem BytesAfterEndProblem(std::uint64_t end, std::uint64_t trailing) {
    return Problem{ProblemKind::BytesAfterEnd,
                   std::to_string(trailing) + " bytes after the end of the drawing",
                   static_cast<std::int64_t>(end),
                   Section::None,
                   {}};
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

RunNote NotRemoved(RunNote::Kind kind, std::filesystem::path path, std::error_code error) {
    RunNote note;
    note.kind = kind;
    note.path = std::move(path);
    note.error = error;
    return note;
}

std::string RunNote::message() const {
    const std::string why = error ? ": " + ErrorText(error) : std::string();
    switch (kind) {
        case Kind::CannotRemove: return "cannot remove " + PathText(path) + why;
        case Kind::CannotRemoveLeftover:
            return "cannot remove " + PathText(path) + ", left by a run that was killed" + why;
        case Kind::OthersLeft:
            return PathText(path) + ": " + std::to_string(count) +
                   " file(s) left by another user's conversion that was killed; only that user may remove them";
        case Kind::DestinationMoved:
            return "the destination " + PathText(path) + " was moved or removed during the run; the drawings " +
                   (movedTo.empty() ? std::string("converted before went with it")
                                    : "converted before are now in " + PathText(movedTo));
    }
    return {};
}

}  // namespace quellmark
