// Bounds-checked little-endian access to drawing bytes: ByteReader walks a buffer held in memory,
// ByteWriter collects output in a buffer and hands it to a sink in large pieces.
#pragma once

#include "../platform/files.h"
#include "error.h"

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quellmark {

using Bytes = std::vector<std::uint8_t>;

namespace detail {
template <typename T>
T FromLittleEndian(T value) {
    if constexpr (std::endian::native == std::endian::big) {
        auto raw = std::bit_cast<std::array<std::uint8_t, sizeof(T)>>(value);
        std::reverse(raw.begin(), raw.end());
        return std::bit_cast<T>(raw);
    }
    return value;
}
}  // namespace detail

// A 32-bit value as the four bytes a writer puts out, little-endian.
inline std::array<std::uint8_t, 4> I32Bytes(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

// A cursor over a drawing held in memory. Every read checks the bytes left first and throws a
// Truncated DrawingError with the offset and section when they do not suffice, so no read can run
// past the buffer. The section is set by the reader as it moves through the drawing.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::size_t offset() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    std::size_t size() const { return data_.size(); }
    bool atEnd() const { return pos_ == data_.size(); }

    void setSection(Section section) { section_ = section; }
    Section section() const { return section_; }

    std::uint8_t u8() {
        need(1);
        return data_[pos_++];
    }
    std::uint16_t u16() { return scalar<std::uint16_t>(); }
    std::int32_t i32() { return scalar<std::int32_t>(); }
    std::uint32_t u32() { return scalar<std::uint32_t>(); }
    // Doubles are carried as their bit pattern, so every value, NaN payloads included, comes out
    // exactly as it went in.
    double f64() { return std::bit_cast<double>(scalar<std::uint64_t>()); }

    // The next two bytes as a number, without moving on; the caller has checked remaining().
    std::uint16_t peekU16() const {
        std::uint16_t value;
        std::memcpy(&value, data_.data() + pos_, sizeof value);
        return detail::FromLittleEndian(value);
    }

    // A view of the next n bytes, valid as long as the buffer lives.
    std::span<const std::uint8_t> take(std::size_t n) {
        need(n);
        auto view = data_.subspan(pos_, n);
        pos_ += n;
        return view;
    }
    std::string takeString(std::size_t n) {
        auto view = take(n);
        return std::string(reinterpret_cast<const char*>(view.data()), view.size());
    }
    void skip(std::size_t n) { take(n); }

    // The bytes from offset `from` up to the position.
    std::span<const std::uint8_t> readSince(std::size_t from) const { return data_.subspan(from, pos_ - from); }

    // Throws unless n more bytes are there.
    void need(std::size_t n) const {
        if (n > remaining()) throwTruncated();
    }

    // A structure no drawing has, seen at the position (or at `at`) in the current section.
    [[noreturn]] void fail(std::string what) const { fail(std::move(what), pos_); }
    [[noreturn]] void fail(std::string what, std::size_t at) const;

private:
    template <typename T>
    T scalar() {
        need(sizeof(T));
        T value;
        std::memcpy(&value, data_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return detail::FromLittleEndian(value);
    }
    [[noreturn]] void throwTruncated() const;

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    Section section_ = Section::None;
};

// Whether FieldReader and FieldWriter check every field against their piece. The piece is
// sized by the same code that then fills it, so release builds leave the checks out; debug and
// sanitizer builds keep them to catch a size that disagrees with its fields.
#ifdef QUELLMARK_FIELD_CHECKS
inline constexpr bool kFieldChecks = true;
#else
inline constexpr bool kFieldChecks = false;
#endif

// Fields of a piece of bytes already taken from a ByteReader in one check, read without checking
// again: the fixed part of an entity body is taken whole, then split into its fields.
class FieldReader {
public:
    explicit FieldReader(std::span<const std::uint8_t> bytes)
        : start_(bytes.data()), p_(bytes.data()), end_(bytes.data() + bytes.size()) {}

    std::uint8_t u8() { return *next(1); }
    std::uint16_t u16() { return load<std::uint16_t>(); }
    std::int32_t i32() { return load<std::int32_t>(); }
    double f64() { return std::bit_cast<double>(load<std::uint64_t>()); }
    bool done() const { return p_ == end_; }
    // The bytes of the piece read so far.
    std::size_t consumed() const { return static_cast<std::size_t>(p_ - start_); }

private:
    const std::uint8_t* next(std::size_t n) {
        if (kFieldChecks && static_cast<std::size_t>(end_ - p_) < n) {
            throw DrawingError(FailureKind::Malformed, "field read past its piece");
        }
        const std::uint8_t* at = p_;
        p_ += n;
        return at;
    }
    template <typename T>
    T load() {
        T value;
        std::memcpy(&value, next(sizeof(T)), sizeof(T));
        return detail::FromLittleEndian(value);
    }

    const std::uint8_t* start_;
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

// Where a ByteWriter's buffer goes when it fills up or is flushed: a file, or memory in tests.
// Called once per buffer, not per field. Throws DrawingError when the bytes cannot be taken.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
};

// Collects everything in memory; the sink of in-memory conversions and of tests.
class MemorySink final : public ByteSink {
public:
    void write(std::span<const std::uint8_t> bytes) override {
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    Bytes data;
};

// Little-endian field writer. Fields are appended to a buffer; the buffer goes to the sink when
// it is full and on flush(). offset() counts every byte written so far.
class ByteWriter {
public:
    static constexpr std::size_t kBufferSize = 1 << 18;

    explicit ByteWriter(ByteSink& sink, std::size_t bufferSize = kBufferSize)
        : sink_(sink), capacity_(bufferSize), buffer_(new std::uint8_t[bufferSize]) {}
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    std::uint64_t offset() const { return flushed_ + used_; }

    void u8(std::uint8_t v) { raw(&v, 1); }
    void u16(std::uint16_t v) { scalar(v); }
    void i32(std::int32_t v) { scalar(v); }
    void u32(std::uint32_t v) { scalar(v); }
    void f64(double v) { scalar(std::bit_cast<std::uint64_t>(v)); }
    void bytes(std::span<const std::uint8_t> b) { raw(b.data(), b.size()); }
    void bytes(std::string_view s) { raw(s.data(), s.size()); }
    void fill(std::uint8_t value, std::size_t n);

    // Room for n bytes in the buffer, to be filled by a FieldWriter: one capacity check for a
    // whole fixed-size piece. A piece larger than the buffer grows it.
    std::span<std::uint8_t> place(std::size_t n) {
        if (n > capacity_ - used_) makeRoom(n);
        std::span<std::uint8_t> room(buffer_.get() + used_, n);
        used_ += n;
        return room;
    }

    // Hands what is buffered to the sink.
    void flush();

private:
    template <typename T>
    void scalar(T v) {
        v = detail::FromLittleEndian(v);
        raw(&v, sizeof(T));
    }
    void raw(const void* p, std::size_t n) {
        if (n > capacity_ - used_) {
            spill(p, n);
            return;
        }
        std::memcpy(buffer_.get() + used_, p, n);
        used_ += n;
    }
    void spill(const void* p, std::size_t n);
    void makeRoom(std::size_t n);

    ByteSink& sink_;
    std::size_t capacity_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t used_ = 0;
    std::uint64_t flushed_ = 0;
};

// Fills a piece placed in a ByteWriter's buffer field by field.
class FieldWriter {
public:
    explicit FieldWriter(std::span<std::uint8_t> room) : p_(room.data()), end_(room.data() + room.size()) {}

    void u8(std::uint8_t v) { store(v); }
    void u16(std::uint16_t v) { store(v); }
    void i32(std::int32_t v) { store(v); }
    void f64(double v) { store(std::bit_cast<std::uint64_t>(v)); }
    bool done() const { return p_ == end_; }

private:
    template <typename T>
    void store(T v) {
        if (kFieldChecks && static_cast<std::size_t>(end_ - p_) < sizeof(T)) {
            throw DrawingError(FailureKind::CannotWrite, "field written past its piece");
        }
        v = detail::FromLittleEndian(v);
        std::memcpy(p_, &v, sizeof(T));
        p_ += sizeof(T);
    }

    std::uint8_t* p_;
    std::uint8_t* end_;
};

}  // namespace quellmark
