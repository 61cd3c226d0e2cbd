// Out-of-line parts of the byte cursor and the buffered writer.
#include "bytes.h"

namespace quellmark {

void ByteReader::fail(std::string what, std::size_t at) const {
    throw DrawingError(FailureKind::Malformed, std::move(what), static_cast<std::int64_t>(at), section_);
}

void ByteReader::throwTruncated() const {
    throw DrawingError(FailureKind::Truncated, "truncated", static_cast<std::int64_t>(pos_), section_);
}

void ByteWriter::fill(std::uint8_t value, std::size_t n) {
    while (n > 0) {
        if (used_ == capacity_) flush();
        std::size_t chunk = std::min(n, capacity_ - used_);
        std::memset(buffer_.get() + used_, value, chunk);
        used_ += chunk;
        n -= chunk;
    }
}

void ByteWriter::flush() {
    if (used_ == 0) return;
    sink_.write({buffer_.get(), used_});
    flushed_ += used_;
    used_ = 0;
}

void ByteWriter::makeRoom(std::size_t n) {
    flush();
    if (n > capacity_) {
        buffer_.reset(new std::uint8_t[n]);
        capacity_ = n;
    }
}

void ByteWriter::spill(const void* p, std::size_t n) {
    flush();
    const auto* b = static_cast<const std::uint8_t*>(p);
    if (n >= capacity_) {
        sink_.write({b, n});
        flushed_ += n;
        return;
    }
    std::memcpy(buffer_.get(), b, n);
    used_ = n;
}

}  // namespace quellmark
