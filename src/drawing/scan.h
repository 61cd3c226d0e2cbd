// The scanning pass: a drawing walked with every check the reader makes, in the same order and
// with the same failures, but into scratch records only. On its way it lists every byte the
// writers would write differently from the source, as edits (edits.h): the flags words the
// marking sets, and each normalisation (a value reset, a name or text cleaned, a count or tag in
// another form, an image dropped, a version raised, the bytes after the end). The converted
// drawing is the source with its edits applied.
#pragma once

#include "archive.h"
#include "bytes.h"
#include "dimensions.h"
#include "edits.h"
#include "layout.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <bit>
#include <cstring>
#include <type_traits>
#include <string>
#include <string_view>
#include <vector>

namespace quellmark {

// What a scan found.
struct DrawingScan {
    std::int32_t version = 0;         // as read
    std::int32_t writtenVersion = 0;  // as the writers write it (a JWS version may move up)
    DimensionTally tally;             // as AddDimensionAttributes counts it
    std::vector<FlagsPatch> patches;  // the marks, in file order
    EditList edits;                   // every other change, in file order
    ChangeTally changes;              // the normalisations, kind by kind
    std::uint64_t end = 0;            // where the drawing ends
    std::uint64_t trailingBytes = 0;  // bytes after its end (the edits drop them)
};

// Back to an empty scan, keeping the memory of its lists for the next drawing.
void ResetScan(DrawingScan& scan);

// What the pass carries from field to field: the drawing's bytes, where the edits go, and the
// version the writers write.
class ScanState {
public:
    ScanState(std::span<const std::uint8_t> bytes, DrawingScan& scan, TextRule textRule)
        : textRule(textRule), bytes(bytes), scan(scan) {}

    TextRule textRule;
    std::span<const std::uint8_t> bytes;
    DrawingScan& scan;
    std::int32_t writtenVersion = 0;

    // An edit of the kind, counted as one more of it unless it only follows from another.
    void change(ChangeKind kind, std::uint64_t offset, std::uint64_t length, std::span<const std::uint8_t> written,
                bool counted = true) {
        rewriteRecords();
        scan.edits.add(kind, offset, length, written);
        if (counted) ++scan.changes[kind];
    }
    // The bytes at offset, which the writers write as `written` (no edit when they are the same).
    void rewrite(ChangeKind kind, std::uint64_t offset, std::size_t length, std::span<const std::uint8_t> written,
                 bool counted = true) {
        rewriteRecords();
        const auto source = bytes.subspan(static_cast<std::size_t>(offset), length);
        if (std::equal(source.begin(), source.end(), written.begin(), written.end())) return;
        scan.edits.addDifference(kind, offset, source, written);
        if (counted) ++scan.changes[kind];
    }

    // A record the writers write otherwise (attributes to normalise, a layout of another
    // version), ending at `end`: it is read again and its edit made by rewriteRecords(), called
    // before any later edit and after each entity. Noting it is a few stores, so the loops that
    // scan entities keep no call in them and their scratch records stay theirs.
    struct RecordToRewrite {
        std::size_t end;
        std::int32_t version;
        void (*rewrite)(ScanState& state, const RecordToRewrite& record);
        alignas(8) unsigned char rule[8];  // the rule the writers make the record by
    };
    template <class Rule>
    void noteRecord(std::size_t end, std::int32_t version, void (*rewrite)(ScanState&, const RecordToRewrite&),
                    const Rule& rule) {
        static_assert(sizeof(Rule) <= sizeof(RecordToRewrite::rule) && std::is_trivially_copyable_v<Rule>);
        RecordToRewrite& record = records_[recordCount_ % records_.size()];
        record.end = end;
        record.version = version;
        record.rewrite = rewrite;
        std::memcpy(record.rule, &rule, sizeof(Rule));
        ++recordCount_;
    }
    void rewriteRecords() {
        if (recordCount_ != 0) [[unlikely]]
            rewriteNotedRecords();
    }

    // The names JWW texts refer to as embedded images ("^@BM%temp%NAME,..."), upper-cased, in
    // the order of the texts.
    std::vector<std::string> imageReferences;

    // While a dimension is scanned: where the flags word of each of its parts was read, part by
    // part in the order read.
    void trackFlags() { tracked_ = 0; }
    void noteFlags(std::size_t offset) {
        if (tracked_ < flagsAt_.size()) flagsAt_[tracked_++] = offset;
    }
    // Where the flags word of the dimension's part (counted from 0 in the order read) was read;
    // throws for a part not noted since trackFlags.
    std::size_t flagsOffset(std::size_t part) const {
        if (part >= tracked_) [[unlikely]]
            throwFlagsNotSeen();
        return flagsAt_[part];
    }

private:
    [[noreturn]] static void throwFlagsNotSeen();
    void rewriteNotedRecords();

    // Between two calls of rewriteRecords come at most the nine records of a dimension.
    std::array<RecordToRewrite, 16> records_{};
    std::size_t recordCount_ = 0;

    std::array<std::size_t, 9> flagsAt_{};  // a dimension has nine parts
    std::size_t tracked_ = 0;
};

// An archive string as read: where it starts, whether its length took the long form, its text.
struct ScannedString {
    std::size_t at;
    bool longForm;
    std::string_view text;
    std::size_t end() const { return at + (longForm ? 3 : 1) + text.size(); }
};
ScannedString TakeArchiveString(ByteReader& in);
// A string whose text the writer keeps: an edit only where its length took the long form for a
// short string.
void KeepText(ScanState& state, const ScannedString& s);

// The end of the drawing, where the reader stops: the bytes after it are dropped.
void ScanEnd(const ByteReader& in, ScanState& state);

// Scans an archive string as a writer would write it of the kind, with an edit where it would
// not come out the same: a length in its long form for a short string, a text cleaned.
std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextAsStored);
std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextCleaned);
std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextName);
std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextContent);

// ReadArchiveCount, with an edit where the writer would write the count in another form (a long
// form for a small count) or as another value (a negative count is written as 0).
std::int32_t ScanArchiveCount(ByteReader& in, ScanState& state);

// What a stream scan shares from tag to tag: the reader's class table and the one the writer
// would build, from which the writer's tags follow.
struct StreamScanner {
    ByteReader& in;
    std::int32_t version;
    ScanState& state;
    ArchiveReaderState archive;
    ArchiveWriterState written;
    DrawingScan& scan;
};

// Reads a class tag as ReadClassTag does, with an edit where the writer would write another tag
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

// Runs a layout description as a reader would, into scratch records, listing as edits what a
// writer would write differently (layout.h lists what a description can say). A scanner that
// tracks flags words notes where each record's flags word was read (for a dimension's parts);
// one that does not keeps its scratch records to itself, so the fields nothing looks at are never
// loaded.
template <class Source, bool kTrackFlags = false>
class LayoutScanner {
public:
    static constexpr bool kReads = true;

    // start: the offset in the drawing of the source's first byte (a piece's own start).
    LayoutScanner(Source& source, std::int32_t version, ScanState& state, std::size_t start = 0)
        : version(version),
          source_(source),
          state_(state),
          start_(start),
          writtenVersion_(state.writtenVersion),
          versionMoves_(version != state.writtenVersion) {}

    std::int32_t version;

    void u8(std::uint8_t& x) { x = source_.u8(); }
    void u16(std::uint16_t& x) { x = source_.u16(); }
    void i32(std::int32_t& x) { x = source_.i32(); }
    void f64(double& x) { x = source_.f64(); }
    template <class Rule>
    void i32(std::int32_t& x, Rule rule) {
        x = source_.i32();
        writtenAs(rule(x, writtenVersion_), x, std::remove_cvref_t<Rule>::kChange);
    }
    template <class Rec, class Read, class Write>
    void i32(Rec& rec, Read read, Write write) {
        const std::int32_t value = source_.i32();
        read(rec, value);
        writtenAs(write(rec, writtenVersion_), value, std::remove_cvref_t<Write>::kChange);
    }
    // Records are common attributes, whose last field is the flags word; their rule tells
    // whether it keeps a record as it is.
    template <class Rec, class Fields, class Rule>
    void record(Rec& rec, Fields fields, Rule rule) {
        fields(*this, rec);
        if (!rule.keeps(rec, writtenVersion_) || versionMoves_) [[unlikely]] {
            state_.noteRecord(position(), version, &RewriteRecord<Rec, Fields, Rule>, rule);
        }
        if constexpr (kTrackFlags) state_.noteFlags(position() - sizeof(rec.Flags));
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
        const std::size_t at = position();
        for (const std::uint8_t b : source_.take(n)) {
            if (b != byte) {
                const std::vector<std::uint8_t> written(n, byte);
                state_.rewrite(ChangeKind::FillerRestored, at, n, written);
                return;
            }
        }
    }
    // Bytes the reader steps over are never written; the value read before them says the change.
    void skip(std::size_t n, ChangeKind change) {
        const std::size_t at = position();
        source_.skip(n);
        state_.change(change, at, n, {}, false);
    }
    void formatVersion(std::int32_t& v) {
        v = source_.i32();
        version = v;
        state_.scan.version = v;  // known from here on, also when a later part fails
        state_.writtenVersion = v;
        writtenVersion_ = v;
    }

private:
    std::size_t position() const {
        if constexpr (std::is_same_v<Source, FieldReader>) {
            return start_ + source_.consumed();
        } else {
            return source_.offset();
        }
    }
    // The 32-bit value just read, which the writer writes as `written`.
    void writtenAs(std::int32_t written, std::int32_t read, ChangeKind change) {
        if (written == read) return;
        state_.change(change, position() - 4, 4, I32Bytes(written));
    }
    // A record noted as the writers write it otherwise, up to its flags word, as the rule makes it
    // in their own version: changed values are a normalisation, a layout alone follows from the
    // version (no edit where it is the same). It is read again from the drawing's bytes.
    template <class Rec, class Fields, class Rule>
    static void RewriteRecord(ScanState& state, const ScanState::RecordToRewrite& noted) {
        std::array<unsigned char, sizeof(Rule)> stored;
        std::memcpy(stored.data(), noted.rule, sizeof(Rule));
        const Rule rule = std::bit_cast<Rule>(stored);
        constexpr Fields fields{};
        const std::size_t read = SizeOf<Rec>(fields, noted.version);
        const std::size_t at = noted.end - read;
        Rec rec{};
        FieldReader in(state.bytes.subspan(at, read));
        LayoutReader<FieldReader> reader(in, noted.version);
        fields(reader, rec);
        const Rec written = rule(rec, state.writtenVersion);
        const bool normalised = !(written == rec);
        std::array<std::uint8_t, 64> buffer{};
        const std::size_t size = SizeOf<Rec>(fields, state.writtenVersion);
        FieldWriter out(std::span<std::uint8_t>(buffer).first(size));
        LayoutWriter<FieldWriter> io(out, state.writtenVersion);
        fields(io, written);
        constexpr std::size_t flags = sizeof(written.Flags);
        state.rewrite(normalised ? ChangeKind::AttributesNormalised : ChangeKind::VersionRaised, at, read - flags,
                      std::span<const std::uint8_t>(buffer).first(size - flags), normalised);
    }

    Source& source_;
    ScanState& state_;
    std::size_t start_;
    std::int32_t writtenVersion_;
    bool versionMoves_;
};

}  // namespace quellmark
