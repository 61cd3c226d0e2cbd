// Names of failure kinds and sections, and the message made from a failure's parts.
#include "error.h"

namespace quellmark {

const char* KindName(FailureKind kind) {
    switch (kind) {
        case FailureKind::None: return "";
        case FailureKind::Truncated: return "truncated";
        case FailureKind::Malformed: return "malformed";
        case FailureKind::NotADrawing: return "not-a-drawing";
        case FailureKind::CannotRead: return "cannot-read";
        case FailureKind::CannotWrite: return "cannot-write";
        case FailureKind::TooLarge: return "too-large-for-memory";
        case FailureKind::Internal: return "internal-error";
    }
    return "";
}

const char* SectionName(Section section) {
    switch (section) {
        case Section::None: return "";
        case Section::Header: return "the header";
        case Section::EntityList: return "the entity list";
        case Section::BlockDefinitions: return "the block definition list";
        case Section::ImageSection: return "the image section";
    }
    return "";
}

std::string FailureMessage(std::string_view what, std::int64_t offset, Section section) {
    std::string text(what);
    if (offset >= 0) text += " at offset " + std::to_string(offset);
    if (section != Section::None) text += std::string(" in ") + SectionName(section);
    return text;
}

Failure MakeFailure(FailureKind kind, std::string detail, std::int64_t offset, Section section, std::error_code error) {
    return Failure{kind, std::move(detail), offset, section, error};
}

}  // namespace quellmark
