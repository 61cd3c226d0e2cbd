// The three ways a fixed layout is run. Every header block and entity body is described once, as
// a template that names its fields in file order on an "io" object; the same description then
// reads (LayoutReader), writes (LayoutWriter) or measures (LayoutCounter) the bytes. All dispatch
// happens at compile time.
//
// What a description can say about a field:
//   io.u8(x) io.u16(x) io.i32(x) io.f64(x)  a little-endian number; its width must match x's type
//   io.i32(x, rule)            a number written as rule(x, version): values only a writer changes
//   io.i32(rec, read, write)   a number that is not a field of its own: read(rec, value) stores it,
//                              write(rec, version) makes it
//   io.record(rec, fields, rule)  a record written from the copy rule(rec, version) makes
//                              (a rule is made with WriteRule, which names the change it makes)
//   io.piece(rec, fields)      a run of fixed fields taken or placed with one bounds check
//   io.text(s, kind)           an archive string; kind says how the writer treats it
//   io.chars(s, n)             n bytes of characters, padded with zeros or cut when written
//   io.filler(n, byte)         n bytes the reader skips and the writer fills with byte
//   io.skip(n, change)         n bytes the reader steps over and the writer leaves out
//   io.formatVersion(v)        the version: read, it decides the rest; written, it is io.version
//   io.version                 the version the layout is read or written in
// Steps that belong to reading alone sit under `if constexpr (kReading<decltype(io)>)`.
#pragma once

#include "Func_.h"
#include "archive.h"
#include "bytes.h"
#include "edits.h"

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace quellmark {

// How text entities are written: JWW keeps an image reference as it is, JWS shortens
// "^@BM%temp%name,..." to "^@BM name,...".
enum class TextRule { Keep, ShortenImageReference };

// How the writer treats an archive string.
struct TextAsStored {};  // written byte for byte (the drawing memo)
struct TextCleaned {};   // cleaned of control bytes and "^m" (font names, dimension texts)
struct TextName {};      // a name of the header or a block definition, cleaned as TextCleaned
struct TextContent {};   // a text entity's content: cleaned, then the stream's TextRule applies

// A rule by which a writer writes a value otherwise than it was read, and the change that is.
template <ChangeKind kKind, class F>
struct WriteRuleOf : F {
    static constexpr ChangeKind kChange = kKind;
};
template <ChangeKind kKind, class F>
constexpr WriteRuleOf<kKind, F> WriteRule(F f) {
    return WriteRuleOf<kKind, F>{f};
}

// Writes drawing text cleaned for writing.
void WriteCleanText(ByteWriter& out, std::string_view text);
// Writes a text entity's content: cleaned, and with the image reference shortened where the
// rule asks for it.
void WriteTextContent(ByteWriter& out, std::string_view text, TextRule rule);

// Counts the bytes a layout takes, without a record to read or write: usable in constant
// expressions. An archive string counts as stringBytes: 1 for the shortest (an empty string),
// 3 + 65535 for the longest.
class LayoutCounter {
public:
    static constexpr bool kReads = false;
    static constexpr std::size_t kShortestString = 1;
    static constexpr std::size_t kLongestString = 3 + kMaxArchiveString;

    constexpr explicit LayoutCounter(std::int32_t version, std::size_t stringBytes = kShortestString)
        : version(version), stringBytes(stringBytes) {}

    std::int32_t version;
    std::size_t stringBytes;
    std::size_t bytes = 0;

    constexpr void u8(const std::same_as<std::uint8_t> auto&) { bytes += 1; }
    constexpr void u16(const std::same_as<std::uint16_t> auto&) { bytes += 2; }
    constexpr void i32(const std::same_as<std::int32_t> auto&) { bytes += 4; }
    constexpr void f64(const std::same_as<double> auto&) { bytes += 8; }
    template <class Rule>
    constexpr void i32(const std::int32_t&, Rule) {
        bytes += 4;
    }
    template <class Rec, class Read, class Write>
    constexpr void i32(const Rec&, Read, Write) {
        bytes += 4;
    }
    template <class Rec, class Fields, class Rule>
    constexpr void record(const Rec& rec, Fields fields, Rule) {
        fields(*this, rec);
    }
    template <class Rec, class Fields>
    constexpr void piece(const Rec& rec, Fields fields) {
        fields(*this, rec);
    }
    template <class Kind>
    constexpr void text(const std::string&, Kind) {
        bytes += stringBytes;
    }
    constexpr void chars(const std::string&, std::size_t n) { bytes += n; }
    constexpr void filler(std::size_t n, std::uint8_t) { bytes += n; }
    constexpr void formatVersion(const std::int32_t&) { bytes += 4; }
};

// Whether the io of a description reads into its record.
template <class Io>
inline constexpr bool kReading = std::remove_cvref_t<Io>::kReads;

namespace detail {
// A record that only lends its fields' names to a count: nothing reads or writes it, so sizes
// can be counted in constant expressions even for records that hold strings.
template <class Rec>
Rec gLayoutShape;
}  // namespace detail

// The bytes the fixed fields of a Rec take in the given version.
template <class Rec, class Fields>
constexpr std::size_t SizeOf(Fields fields, std::int32_t version) {
    LayoutCounter counter(version);
    fields(counter, detail::gLayoutShape<Rec>);
    return counter.bytes;
}

// Whether a LayoutReader keeps the archive strings it meets or only steps over them.
enum class Strings { Kept, Skipped };

// Reads a layout into a record. Source is a FieldReader (a piece already taken: no further
// checks) or a ByteReader (every field checked, so a truncation is reported where it happens).
template <class Source, Strings kStrings = Strings::Kept>
class LayoutReader {
public:
    static constexpr bool kReads = true;

    LayoutReader(Source& source, std::int32_t version) : version(version), source_(source) {}

    std::int32_t version;

    void u8(std::uint8_t& x) { x = source_.u8(); }
    void u16(std::uint16_t& x) { x = source_.u16(); }
    void i32(std::int32_t& x) { x = source_.i32(); }
    void f64(double& x) { x = source_.f64(); }
    template <class Rule>
    void i32(std::int32_t& x, Rule) {
        x = source_.i32();
    }
    template <class Rec, class Read, class Write>
    void i32(Rec& rec, Read read, Write) {
        read(rec, source_.i32());
    }
    template <class Rec, class Fields, class Rule>
    void record(Rec& rec, Fields fields, Rule) {
        fields(*this, rec);
    }
    // A piece becomes one straight run of loads: everything it calls is inlined into it, and it
    // is inlined where it is used, so that where nothing reads a record afterwards (the
    // skipper's scratch records) the loads go too and a piece costs its bounds check alone.
    template <class Rec, class Fields>
    [[gnu::always_inline, gnu::flatten]] void piece(Rec& rec, Fields fields) {
        FieldReader piece(source_.take(SizeOf<Rec>(fields, version)));
        LayoutReader<FieldReader> io(piece, version);
        fields(io, rec);
    }
    template <class Kind>
    void text(std::string& s, Kind) {
        if constexpr (kStrings == Strings::Kept) {
            s = ReadArchiveString(source_);
        } else {
            SkipArchiveString(source_);
        }
    }
    void chars(std::string& s, std::size_t n) { s = source_.takeString(n); }
    void filler(std::size_t n, std::uint8_t) { source_.skip(n); }
    void skip(std::size_t n, ChangeKind) { source_.skip(n); }
    void formatVersion(std::int32_t& v) {
        v = source_.i32();
        version = v;
    }

private:
    Source& source_;
};

// Writes a record's fields. Sink is a FieldWriter (a piece already placed) or a ByteWriter.
template <class Sink>
class LayoutWriter {
public:
    static constexpr bool kReads = false;

    LayoutWriter(Sink& sink, std::int32_t version, TextRule textRule = TextRule::Keep)
        : version(version), textRule(textRule), sink_(sink) {}

    std::int32_t version;
    TextRule textRule;

    void u8(std::same_as<std::uint8_t> auto x) { sink_.u8(x); }
    void u16(std::same_as<std::uint16_t> auto x) { sink_.u16(x); }
    void i32(std::same_as<std::int32_t> auto x) { sink_.i32(x); }
    void f64(std::same_as<double> auto x) { sink_.f64(x); }
    template <class Rule>
    void i32(const std::int32_t& x, Rule rule) {
        sink_.i32(rule(x, version));
    }
    template <class Rec, class Read, class Write>
    void i32(const Rec& rec, Read, Write write) {
        sink_.i32(write(rec, version));
    }
    template <class Rec, class Fields, class Rule>
    void record(const Rec& rec, Fields fields, Rule rule) {
        const auto written = rule(rec, version);
        fields(*this, written);
    }
    // A piece becomes one straight run of stores: everything it calls is inlined into it.
    template <class Rec, class Fields>
    [[gnu::flatten]] void piece(const Rec& rec, Fields fields) {
        FieldWriter piece(sink_.place(SizeOf<Rec>(fields, version)));
        LayoutWriter<FieldWriter> io(piece, version);
        fields(io, rec);
    }
    void text(const std::string& s, TextAsStored) { WriteArchiveString(sink_, s); }
    void text(const std::string& s, TextCleaned) { WriteCleanText(sink_, s); }
    void text(const std::string& s, TextName) { WriteCleanText(sink_, s); }
    void text(const std::string& s, TextContent) { WriteTextContent(sink_, s, textRule); }
    void chars(const std::string& s, std::size_t n) {
        std::string field(n, '\0');
        CopyToCharArray(field, s, static_cast<std::int32_t>(n));
        sink_.bytes(field);
    }
    void filler(std::size_t n, std::uint8_t byte) { sink_.fill(byte, n); }
    void formatVersion(const std::int32_t&) { sink_.i32(version); }

private:
    Sink& sink_;
};

}  // namespace quellmark
