// The scanning pass of copy-through: a drawing walked with every check the reader makes, in the
// same order and with the same failures, but into scratch records only. On its way it notes
// whether the writers would write any byte differently from the bytes read (a normalisation, a
// cleaned name, a dropped image, a different encoding of a count or a tag), and where each flags
// word lies that the marking changes. When only flags words would change, the converted drawing
// is the source with those words written over it.
#pragma once

#include "archive.h"
#include "bytes.h"
#include "dimensions.h"
#include "layout.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quellmark {

// A flags word to write over the source: its offset and its new value, packed in one word.
struct FlagsPatch {
    std::uint64_t packed;
    std::uint64_t offset() const { return packed >> 16; }
    std::uint16_t value() const { return static_cast<std::uint16_t>(packed & 0xFFFF); }
    static FlagsPatch At(std::uint64_t offset, std::uint16_t value) { return {offset << 16 | value}; }
};

// What a scan found.
struct DrawingScan {
    // Asked by the caller: end the scan at the first byte the writers would change other than a
    // flags word, as a caller that then runs the full reader needs no more of it. A scan that
    // ends there succeeds with copyThrough false, its tally and patches cut short.
    bool stopAtFirstChange = false;

    std::int32_t version = 0;
    // The writers would write nothing differently but the flags words of the patches.
    bool copyThrough = false;
    DimensionTally tally;               // as AddDimensionAttributes counts it
    std::vector<FlagsPatch> patches;    // in file order
    std::uint64_t trailingBytes = 0;    // bytes after the end of the drawing
};

// Back to an empty scan, keeping the memory of its patches for the next drawing.
void ResetScan(DrawingScan& scan);

// What the pass carries from field to field.
class ScanState {
public:
    explicit ScanState(TextRule textRule = TextRule::Keep) : textRule(textRule) {}

    TextRule textRule;
    bool rewritten = false;  // the writers would change a byte that is no flags word to mark
    bool stopAtChange = false;  // end the scan once rewritten is set (DrawingScan::stopAtFirstChange)

    // Thrown to end a scan that stops at the first change; the scan's entry points catch it.
    struct ScanStopped {};
    void stopIfChanged() const {
        if (stopAtChange && rewritten) throw ScanStopped{};
    }
    // The names JWW texts refer to as embedded images ("^@BM%temp%NAME,..."), upper-cased, in
    // the order of the texts.
    std::vector<std::string> imageReferences;

    // While a dimension is scanned: where the flags word of each of its parts was read.
    void trackFlags() {
        tracked_ = 0;
        looked_ = 0;
    }
    void noteFlags(const std::uint16_t* word, std::size_t offset) {
        if (tracked_ < flags_.size()) flags_[tracked_++] = {word, offset};
    }
    // The offset of a flags word noted since trackFlags; throws when it was not noted. Words
    // asked for in the order they were read are found at once.
    std::size_t offsetOf(const std::uint16_t* word) {
        if (looked_ < tracked_ && flags_[looked_].word == word) return flags_[looked_++].offset;
        return searchOffsetOf(word);
    }

private:
    struct Noted {
        const std::uint16_t* word;
        std::size_t offset;
    };
    std::size_t searchOffsetOf(const std::uint16_t* word) const;

    std::array<Noted, 9> flags_{};  // a dimension has nine parts
    std::size_t tracked_ = 0;
    std::size_t looked_ = 0;
};

// Scans an archive string as a writer would write it of the kind: the same bytes only when the
// length takes its shortest form and the text is what the writer makes of it.
std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextAsStored);
std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextCleaned);
std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextContent);

// ReadArchiveCount, noting a count the writer would write in another form (a long form for a
// small count) or as another value (a negative count is written as 0).
std::int32_t ScanArchiveCount(ByteReader& in, ScanState& state);

// What a stream scan shares from tag to tag: the reader's class table and the one the writer
// would build, which must agree for every tag to come out the same.
struct StreamScanner {
    ByteReader& in;
    std::int32_t version;
    ScanState& state;
    ArchiveReaderState archive;
    ArchiveWriterState written;
    DrawingScan& scan;
};

// Reads a class tag as ReadClassTag does and notes whether the writer would write the same tag
// there; both class tables move on as in reading and writing.
int ScanClassTag(StreamScanner& stream, TagPlace place);

// ScanClassTag in an entity list, with the common case taken inline: a short reference to an
// entity class introduced early, at the index the writer gave the class too.
inline int ScanEntityClassTag(StreamScanner& stream) {
    ByteReader& in = stream.in;
    if (in.remaining() >= 2) {
        const std::uint16_t index = static_cast<std::uint16_t>(in.peekU16() - kClassReferenceBase);
        if (index < ArchiveReaderState::kQuickIndices) {
            const int classNo = stream.archive.EntityClassAt[index];
            if (classNo != 0 && stream.written.ClassIndex[static_cast<std::size_t>(classNo)] == index) {
                in.skip(2);
                return classNo;
            }
        }
    }
    return ScanClassTag(stream, TagPlace::EntityList);
}

// Runs a layout description as a reader would, into scratch records, noting what a writer would
// write differently (layout.h lists what a description can say). A scanner that tracks flags
// words notes where each record's flags word was read (for a dimension's parts); one that does
// not keeps its scratch records to itself, so the fields nothing looks at are never loaded.
template <class Source, bool kTrackFlags = false>
class LayoutScanner {
public:
    static constexpr bool kReads = true;

    // start: the offset in the drawing of the source's first byte (a piece's own start).
    LayoutScanner(Source& source, std::int32_t version, ScanState& state, std::size_t start = 0)
        : version(version), source_(source), state_(state), start_(start) {}

    std::int32_t version;

    void u8(std::uint8_t& x) { x = source_.u8(); }
    void u16(std::uint16_t& x) { x = source_.u16(); }
    void i32(std::int32_t& x) { x = source_.i32(); }
    void f64(double& x) { x = source_.f64(); }
    template <class Rule>
    void i32(std::int32_t& x, Rule rule) {
        x = source_.i32();
        if (rule(x, version) != x) state_.rewritten = true;
    }
    template <class Rec, class Read, class Write>
    void i32(Rec& rec, Read read, Write write) {
        const std::int32_t value = source_.i32();
        read(rec, value);
        if (write(rec, version) != value) state_.rewritten = true;
    }
    template <class Rec, class Fields, class Rule>
    void record(Rec& rec, Fields fields, Rule rule) {
        fields(*this, rec);
        if (!(rule(rec, version) == rec)) state_.rewritten = true;
        // The flags word is the last field of the common attributes.
        if constexpr (kTrackFlags && requires { rec.Flags; }) state_.noteFlags(&rec.Flags, position() - sizeof(rec.Flags));
    }
    template <class Rec, class Fields>
    [[gnu::always_inline, gnu::flatten]] void piece(Rec& rec, Fields fields) {
        const std::size_t at = position();
        FieldReader piece(source_.take(SizeOf<Rec>(fields, version)));
        LayoutScanner<FieldReader, kTrackFlags> io(piece, version, state_, at);
        fields(io, rec);
    }
    template <class Kind>
    void text(std::string&, Kind kind) {
        ScanArchiveString(source_, state_, kind);
    }
    // A fixed character field is written as it was read.
    void chars(std::string&, std::size_t n) { source_.skip(n); }
    void filler(std::size_t n, std::uint8_t byte) {
        for (const std::uint8_t b : source_.take(n)) {
            if (b != byte) state_.rewritten = true;
        }
    }
    // Bytes the reader steps over are never written.
    void skip(std::size_t n) {
        source_.skip(n);
        state_.rewritten = true;
    }
    void formatVersion(std::int32_t& v) {
        v = source_.i32();
        version = v;
    }

private:
    std::size_t position() const {
        if constexpr (std::is_same_v<Source, FieldReader>) {
            return start_ + source_.consumed();
        } else {
            return source_.offset();
        }
    }

    Source& source_;
    ScanState& state_;
    std::size_t start_;
};

// A run of bytes to write over a copy that shares its blocks with the source. The copy's blocks
// are unshared where they are written, so a patch is written with the whole 4 KiB block around
// it, and patches in neighbouring blocks as one run.
struct PatchSpan {
    std::uint64_t begin;
    std::uint64_t end;
};
constexpr std::uint64_t kPatchBlock = 4096;

// The runs to write for the patches (in file order) of a drawing of size bytes, and their bytes.
std::vector<PatchSpan> PatchedSpans(const std::vector<FlagsPatch>& patches, std::uint64_t size);
std::uint64_t SpanBytes(const std::vector<PatchSpan>& spans);

// Whether copying the source and writing the runs over the copy pays: where the runs cover more
// than half of the drawing, one write of the patched bytes costs less.
inline bool CopyAndPatchPays(std::uint64_t spanBytes, std::uint64_t size) { return spanBytes <= size / 2; }

// Writes the patches over a copy of the drawing's bytes.
void ApplyPatches(std::span<std::uint8_t> bytes, const std::vector<FlagsPatch>& patches);

}  // namespace quellmark
