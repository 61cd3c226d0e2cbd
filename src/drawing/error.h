// The one failure type of the drawing core: a short phrase saying what went wrong and, where it
// applies, the byte offset in the drawing at which reading or writing stopped.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quellmark {

// What a caller learns when a named file operation returns false.
struct Failure {
    std::string reason;      // a short English phrase, offset included where it applies
    std::int64_t offset = -1;  // byte offset where reading or writing stopped; -1 when none applies

    bool empty() const { return reason.empty(); }
};

// Thrown inside the core; the named operations (ReadJwwFile, WriteJwwFile, ...) catch it and
// return false, keeping the Failure for their caller.
class DrawingError : public std::runtime_error {
public:
    DrawingError(std::string reason, std::int64_t offset = -1)
        : std::runtime_error(reason), failure_{std::move(reason), offset} {}

    const Failure& failure() const { return failure_; }

private:
    Failure failure_;
};

}  // namespace quellmark
