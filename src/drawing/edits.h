// What the writers change in a drawing, as a list of edits to its source bytes: each edit
// replaces a run of the source (maybe an empty one) by new bytes and says why. The scanning pass
// (scan.h) yields the list; applying it to the source gives the bytes the full reader and writer
// give; the converted file is made from it (drawing_file.h); and the user is told, kind by kind,
// what each drawing got beyond its marks.
#pragma once

#include "bytes.h"

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace quellmark {

enum class ChangeKind : std::uint8_t {
    FlagsMarked,               // a dimension attribute bit set in a flags word (the conversion itself)
    HeaderValueReset,          // a reserved header value, written as 0
    LineWidthLimited,          // the widest line width, limited to what versions up to 420 know
    SplitValueRewritten,       // the split value of header block 17, as tens and units
    FillerRestored,            // the filler of a JWS header, written as '.'
    NameCleaned,               // a layer, layer group, colour, line type or block name cleaned
    TextCleaned,               // a text, font name or dimension text cleaned
    ImageReferenceShortened,   // "^@BM%temp%" in a JWS text, written as "^@BM"
    StringLengthShortened,     // a string length in the long form for a short string
    CountRewritten,            // a count in the long form for a small count, or a negative one
    ClassTagRewritten,         // a class tag in another form than the writers give it
    AttributesNormalised,      // pen style, colour or width, layer or layer group out of range
    TimeStampRewritten,        // a block definition's time stamp with its 8-byte extension
    UnreferencedImageDropped,  // an embedded image no text refers to
    EmptyImageDropped,         // an image entry without bytes (no name, or no size)
    VersionRaised,             // a JWS version the writers move up, and what follows from it
    TrailingBytesDropped,      // bytes after the end of the drawing
};
inline constexpr std::size_t kChangeKinds = 17;

// "flags-marked", "header-value-reset", ...: stable names for JSON.
const char* ChangeKindName(ChangeKind kind);

// The kinds in the order they are told, every one but the marks.
std::span<const ChangeKind> Normalisations();

// How often each kind of change occurs in a drawing: the places (values, names, texts, tags,
// images) it touches. Some follow from another and are not counted: the class tags and pen
// widths of a raised version, the image count of dropped images. The marks are counted as
// dimensions, not here.
struct ChangeTally {
    std::array<std::int64_t, kChangeKinds> counts{};

    std::int64_t& operator[](ChangeKind kind) { return counts[static_cast<std::size_t>(kind)]; }
    std::int64_t operator[](ChangeKind kind) const { return counts[static_cast<std::size_t>(kind)]; }
    // Whether the drawing gets any change beyond its marks.
    bool normalised() const;
    bool operator==(const ChangeTally&) const = default;
};

// A flags word to write over the source: its offset and its new value, packed in one word. The
// marks are most of the edits of most drawings, so they are kept apart in this compact form.
struct FlagsPatch {
    std::uint64_t packed;
    std::uint64_t offset() const { return packed >> 16; }
    std::uint16_t value() const { return static_cast<std::uint16_t>(packed & 0xFFFF); }
    static FlagsPatch At(std::uint64_t offset, std::uint16_t value) { return {offset << 16 | value}; }
};

// One edit: the source's bytes [offset, offset + length) are written as the new bytes, which
// the list keeps. A length of 0 inserts the bytes before offset.
struct Edit {
    std::uint64_t offset;
    std::uint64_t length;
    std::size_t at;    // where the new bytes start in the list's bytes
    std::size_t size;  // how many new bytes
    ChangeKind kind;
};

// The edits of a drawing other than its marks, in the order of the source.
class EditList {
public:
    void clear();
    bool empty() const { return edits_.empty(); }
    std::span<const Edit> edits() const { return edits_; }
    std::span<const std::uint8_t> bytesOf(const Edit& edit) const {
        return std::span<const std::uint8_t>(bytes_).subspan(edit.at, edit.size);
    }
    // The bytes the edits add (a negative number: take away) from the source's size.
    std::int64_t growth() const { return growth_; }
    // Whether every edit keeps its length, so every byte stays where it was.
    bool keepsLength() const { return keepsLength_; }

    // Appends an edit; it must begin at or after the end of the last one (throws Internal
    // otherwise).
    void add(ChangeKind kind, std::uint64_t offset, std::uint64_t length, std::span<const std::uint8_t> bytes);
    // The smallest one edit that turns `source` (found at offset) into `written`; none when
    // they are the same.
    void addDifference(ChangeKind kind, std::uint64_t offset, std::span<const std::uint8_t> source,
                       std::span<const std::uint8_t> written);

private:
    std::vector<Edit> edits_;
    std::vector<std::uint8_t> bytes_;
    std::int64_t growth_ = 0;
    bool keepsLength_ = true;
};

// One edit as the merged list shows it: flags patches and other edits in the order of the source.
struct EditView {
    std::uint64_t offset;
    std::uint64_t length;
    std::span<const std::uint8_t> bytes;
    ChangeKind kind;
};

// Calls visit(EditView) for every edit, the marks among the others, in the order of the source,
// up to the first one that begins at or after upTo. The view's bytes last only for the call.
template <class Visit>
void ForEachEdit(const std::vector<FlagsPatch>& patches, const EditList& list, Visit visit,
                 std::uint64_t upTo = std::numeric_limits<std::uint64_t>::max()) {
    const std::span<const Edit> edits = list.edits();
    std::size_t p = 0;
    std::size_t e = 0;
    std::uint8_t word[2];
    while (p < patches.size() || e < edits.size()) {
        // An edit before a patch at the same offset is an insertion: it comes first.
        const bool patchFirst =
            e == edits.size() ||
            (p < patches.size() && (patches[p].offset() < edits[e].offset ||
                                    (patches[p].offset() == edits[e].offset && edits[e].length > 0)));
        if ((patchFirst ? patches[p].offset() : edits[e].offset) >= upTo) return;
        if (patchFirst) {
            const FlagsPatch patch = patches[p++];
            word[0] = static_cast<std::uint8_t>(patch.value() & 0xFF);
            word[1] = static_cast<std::uint8_t>(patch.value() >> 8);
            visit(EditView{patch.offset(), 2, std::span<const std::uint8_t>(word, 2), ChangeKind::FlagsMarked});
        } else {
            const Edit& edit = edits[e++];
            visit(EditView{edit.offset, edit.length, list.bytesOf(edit), edit.kind});
        }
    }
}

// Walks what the edits make of a source of `size` bytes from its byte `from` on (no edit may
// begin before it and end after it), front to back: keep(from, length) for each run of the source
// that stays, put(edit) for each edit (its bytes last only for the call). Throws Internal when
// edits overlap or reach past the source.
template <class Keep, class Put>
void ForEachPiece(std::uint64_t size, const std::vector<FlagsPatch>& patches, const EditList& list, Keep keep, Put put,
                  std::uint64_t from = 0) {
    std::uint64_t at = from;
    ForEachEdit(patches, list, [&](const EditView& edit) {
        if (edit.offset < from && edit.offset + edit.length <= from) return;
        if (edit.offset < at || edit.length > size || edit.offset > size - edit.length) {
            throw DrawingError(FailureKind::Internal, "an edit overlaps another or reaches past the drawing's end");
        }
        if (edit.offset > at) keep(at, edit.offset - at);
        put(edit);
        at = edit.offset + edit.length;
    });
    if (at < size) keep(at, size - at);
}

// The source with the edits applied: the bytes of the converted drawing.
Bytes ApplyEdits(std::span<const std::uint8_t> source, const std::vector<FlagsPatch>& patches, const EditList& edits);

// Writes each edit that keeps its length and lies within [from, upTo) over the bytes themselves;
// the others stay to be written between them.
void ApplyInPlace(std::span<std::uint8_t> bytes, const std::vector<FlagsPatch>& patches, const EditList& edits,
                  std::uint64_t from, std::uint64_t upTo);

}  // namespace quellmark
