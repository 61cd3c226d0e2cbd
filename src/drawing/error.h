// The one failure type of the drawing core. A failure has a kind that code decides by, and for
// people a short phrase with the byte offset and the section of the drawing where it applies and
// the system error where there is one. Messages are made from these parts, never parsed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace quellmark {

enum class FailureKind : std::uint8_t {
    None,
    Truncated,    // the drawing ends before its structure does
    Malformed,    // a structure no drawing has: unknown class, bad count, version out of range
    NotADrawing,  // the file is no drawing of its extension's format (a skip, not a failure)
    CannotRead,   // the file cannot be opened or read
    CannotWrite,  // the output cannot be created, written, synced or closed
    TooLarge,     // the drawing, or what it holds, does not fit in memory
    Internal,     // a fault of this program: an exception nothing above expected
};

// Where in a drawing a failure was seen.
enum class Section : std::uint8_t { None, Header, EntityList, BlockDefinitions, ImageSection };

// "truncated", "malformed", "not-a-drawing", "cannot-read", "cannot-write", "too-large-for-memory",
// "internal-error"; "" for None. Stable names for JSON.
const char* KindName(FailureKind kind);
// "the header", "the entity list", ...; "" for None.
const char* SectionName(Section section);

// The phrase for people: what, then " at offset N" and " in <section>" where they apply.
std::string FailureMessage(std::string_view what, std::int64_t offset, Section section);

// A failure of one kind or another: the formats' own (Failure) and, in the conversion engine,
// those of a file in a batch, which add kinds of their own.
template <typename Kind>
struct BasicFailure {
    Kind kind{};
    std::string detail;        // what exactly, in a short English phrase: "unknown class 'CDataFoo'"
    std::int64_t offset = -1;  // the byte where it was seen (for a write, the bytes written); -1: none
    Section section = Section::None;
    std::error_code error;  // the system's error, where there is one

    bool empty() const { return kind == Kind{}; }
    // detail (the kind's name when there is none), with the offset and section.
    std::string message() const { return FailureMessage(detail.empty() ? KindName(kind) : detail, offset, section); }
};

// What a caller learns when a named file operation returns false.
using Failure = BasicFailure<FailureKind>;

Failure MakeFailure(FailureKind kind, std::string detail, std::int64_t offset = -1, Section section = Section::None,
                    std::error_code error = {});

// Thrown inside the core; the named operations (ReadJwwFile, WriteJwwFile, ...) catch it and
// return false, keeping the Failure for their caller.
class DrawingError : public std::runtime_error {
public:
    explicit DrawingError(Failure failure) : std::runtime_error(failure.message()), failure_(std::move(failure)) {}
    DrawingError(FailureKind kind, std::string detail, std::int64_t offset = -1, Section section = Section::None,
                 std::error_code error = {})
        : DrawingError(MakeFailure(kind, std::move(detail), offset, section, error)) {}

    const Failure& failure() const { return failure_; }

private:
    Failure failure_;
};

}  // namespace quellmark
