// Reading and writing entity bodies and entity lists.
#include "entities.h"

#include "scan.h"

#include <array>
#include <string>

namespace quellmark {

namespace {

// ---- the entity bodies ----
// Each body is described once, in stream order, and read, written, skipped and measured from
// that description (layout.h). Its fixed fields form pieces, each taken or placed with one
// bounds check; strings, and what depends on a value just read, follow the pieces.

constexpr auto SenFields = [](auto& io, auto& e) {
    CommonAttributes(io, e.Base, kClassSen);
    io.f64(e.StartX);
    io.f64(e.StartY);
    io.f64(e.EndX);
    io.f64(e.EndY);
};

constexpr auto EnkoFields = [](auto& io, auto& e) {
    CommonAttributes(io, e.Base, kClassEnko);
    io.f64(e.CenterX);
    io.f64(e.CenterY);
    io.f64(e.Radius);
    io.f64(e.StartAngle);
    io.f64(e.ArcAngle);
    io.f64(e.TiltAngle);
    io.f64(e.Flatness);
    io.i32(e.FullCircle);
};

constexpr auto TenFields = [](auto& io, auto& e) {
    CommonAttributes(io, e.Base, kClassTen);
    io.f64(e.X);
    io.f64(e.Y);
    io.i32(e.Temporary);
};

// Only a point with pen style 100 carries these; they stay 0 in any other point read.
constexpr auto MarkedPointFields = [](auto& io, auto& e) {
    io.i32(e.Code);
    io.f64(e.Angle);
    io.f64(e.Scale);
};

constexpr auto MojiFields = [](auto& io, auto& e) {
    CommonAttributes(io, e.Base, kClassMoji);
    io.f64(e.StartX);
    io.f64(e.StartY);
    io.f64(e.EndX);
    io.f64(e.EndY);
    io.i32(e.TextType);
    io.f64(e.SizeX);
    io.f64(e.SizeY);
    io.f64(e.Spacing);
    io.f64(e.Angle);
};

constexpr auto SolidFields = [](auto& io, auto& e) {
    CommonAttributes(io, e.Base, kClassSolid);
    for (auto& corner : e.Corners) io.f64(corner);
};

// Only a solid with pen colour 10 carries it; it stays 0 in any other solid read.
constexpr auto SolidColorField = [](auto& io, auto& e) { io.i32(e.Color); };

constexpr auto BlockFields = [](auto& io, auto& e) {
    CommonAttributes(io, e.Base, kClassBlock);
    io.f64(e.RefX);
    io.f64(e.RefY);
    io.f64(e.ScaleX);
    io.f64(e.ScaleY);
    io.f64(e.Angle);
    io.i32(e.DefNumber);
};

constexpr auto DimensionAttributeFields = [](auto& io, auto& base) { CommonAttributes(io, base, kClassSunpou); };

constexpr auto SenBody = [](auto& io, auto& e) { io.piece(e, SenFields); };

constexpr auto EnkoBody = [](auto& io, auto& e) { io.piece(e, EnkoFields); };

constexpr auto TenBody = [](auto& io, auto& e) {
    io.piece(e, TenFields);
    if (e.Base.PenStyle == kPenStyleMarkedPoint) io.piece(e, MarkedPointFields);
};

// A text body; how its content is written depends on where the text stands.
template <class Io, class Rec, class ContentKind>
void TextBody(Io& io, Rec& e, ContentKind content) {
    io.piece(e, MojiFields);
    io.text(e.FontName, TextCleaned{});
    io.text(e.Text, content);
}

constexpr auto MojiBody = [](auto& io, auto& e) { TextBody(io, e, TextContent{}); };

// A dimension's first three parts; from version 420 on SunpoExtBody follows.
constexpr auto SunpoBody = [](auto& io, auto& e) {
    io.piece(e.Base, DimensionAttributeFields);
    SenBody(io, e.Line);
    TextBody(io, e.Text, TextCleaned{});  // a dimension's text is never an image reference
};

constexpr auto SunpoExtBody = [](auto& io, auto& e) {
    io.u16(e.Mode);
    SenBody(io, e.Aux1);
    SenBody(io, e.Aux2);
    for (auto& point : e.Points) TenBody(io, point);
};

constexpr auto SolidBody = [](auto& io, auto& e) {
    io.piece(e, SolidFields);
    if (e.Base.PenColor == kPenColorSolidRgb) io.piece(e, SolidColorField);
};

constexpr auto BlockBody = [](auto& io, auto& e) { io.piece(e, BlockFields); };

// The fewest bytes one entity can take: a class reference and a point's fixed fields in the
// oldest layout. A count that the bytes left cannot hold is refused before any space is
// reserved for it.
constexpr std::size_t kMinEntityBytes = kShortestClassTag + SizeOf<TEntTen>(TenFields, 0);

// ---- reading ----

using EntityReader = LayoutReader<ByteReader>;

// A count of entities the bytes left cannot hold is refused before anything is reserved for it.
void CheckEntityCount(const ByteReader& in, std::int32_t count) {
    if (static_cast<std::size_t>(count) > in.remaining() / kMinEntityBytes) {
        in.fail("entity count " + std::to_string(count) + " is more than the " + std::to_string(in.remaining()) +
                " bytes left can hold");
    }
}

// Flattened: the body's pieces and fields become one straight run, whatever the inliner's
// budget for the long function that reads entity lists.
template <typename Record, typename Body>
[[gnu::flatten]] std::int32_t Append(std::vector<Record>& array, EntityReader& io, Body body) {
    body(io, array.emplace_back());
    return static_cast<std::int32_t>(array.size() - 1);
}

// A dimension, and its second half where the version has one. A collection is read at one
// version, so every dimension before it has its second half too; should one not, it gets the
// stand-in first, to keep the second halves index for index with their dimensions.
[[gnu::flatten]] std::int32_t AppendDimension(TEntityCollection& target, EntityReader& io) {
    const std::int32_t index = Append(target.Sunpo, io, SunpoBody);
    if (io.version >= kVersionFullDimension) {
        while (target.SunpoExt.size() + 1 < target.Sunpo.size()) {
            target.SunpoExt.push_back(DefaultSunpoExt(target.Sunpo[target.SunpoExt.size()]));
        }
        Append(target.SunpoExt, io, SunpoExtBody);
    }
    return index;
}

// ---- normalisation ----

// The pen style and colour rules written out once as tables, by era (before version 420, from
// it) and class number, so normalising a set of attributes is a few lookups.
constexpr std::uint8_t kOldPenStyle[15] = {1, 4, 3, 6, 8, 8, 2, 5, 7, 6, 6, 8, 8, 17, 17};  // 31..45
constexpr std::uint16_t kOldPenColor[16] = {2, 8, 3, 6, 4, 5, 1, 2, 5, 8, 4, 3, 6, 5, 2, 2};  // 101..116
constexpr unsigned kLastPenColor = 356;

bool InRange(unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; }

bool ValidPenColor(unsigned color, int classNo) {
    if (InRange(color, 101, kLastPenColor)) return true;
    return InRange(color, 1, classNo == kClassSolid ? 10 : 9);
}

bool ValidPenStyle(unsigned style, int classNo) {
    switch (classNo) {
        case kClassSen:
        case kClassEnko:
            return InRange(style, 1, 9) || InRange(style, 11, 19) || InRange(style, 31, 62);
        case kClassTen:
            return style == 1 || style == kPenStyleMarkedPoint;
        case kClassMoji:
            return InRange(style, 1, 9);
        default:
            return true;
    }
}

bool HasColorRule(int classNo) { return classNo >= kClassSen && classNo <= kClassSolid; }

unsigned NormalStyle(unsigned style, bool old, int classNo) {
    if (old && (classNo == kClassSen || classNo == kClassEnko)) {
        if (InRange(style, 31, 45)) style = kOldPenStyle[style - 31];
        if (InRange(style, 46, 62)) style = 1;
    }
    return ValidPenStyle(style, classNo) ? style : 1;
}

unsigned NormalColor(unsigned color, bool old, int classNo) {
    if (!HasColorRule(classNo)) return color;
    if (old) {
        if (InRange(color, 101, 116)) color = kOldPenColor[color - 101];
        if (InRange(color, 117, kLastPenColor)) color = 2;
    }
    return ValidPenColor(color, classNo) ? color : 2;
}

struct NormalisationTables {
    // [era][class number][value]; era 1 is before version 420.
    std::array<std::array<std::array<std::uint8_t, 256>, 9>, 2> style{};
    std::array<std::array<std::array<std::uint16_t, kLastPenColor + 1>, 9>, 2> color{};

    NormalisationTables() {
        for (int era = 0; era < 2; ++era) {
            for (int c = 1; c <= 8; ++c) {
                for (unsigned v = 0; v < 256; ++v) style[era][c][v] = static_cast<std::uint8_t>(NormalStyle(v, era == 1, c));
                for (unsigned v = 0; v <= kLastPenColor; ++v) {
                    color[era][c][v] = static_cast<std::uint16_t>(NormalColor(v, era == 1, c));
                }
            }
        }
    }
};

const NormalisationTables kTables;

// ---- writing ----

template <typename Record>
const Record& At(const std::vector<Record>& array, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= array.size()) {
        throw DrawingError(FailureKind::CannotWrite,
                           "index list entry " + std::to_string(index) + " points past its class array");
    }
    return array[static_cast<std::size_t>(index)];
}

template <typename Writer>
[[gnu::always_inline]] inline void WriteDimension(Writer& io, const TEntityCollection& source, std::int32_t index) {
    const TEntSunpo& dimension = At(source.Sunpo, index);
    SunpoBody(io, dimension);
    if (io.version < kVersionFullDimension) return;
    if (static_cast<std::size_t>(index) < source.SunpoExt.size()) {
        SunpoExtBody(io, source.SunpoExt[static_cast<std::size_t>(index)]);
    } else {
        const TEntSunpoExt standIn = DefaultSunpoExt(dimension);
        SunpoExtBody(io, standIn);
    }
}

}  // namespace

TEntBase NormalizeCommonAttributes(TEntBase base, std::int32_t version, int classNo) {
    const bool old = version < kVersionFullDimension;
    if (classNo >= 1 && classNo <= 8) {
        const int era = old ? 1 : 0;
        base.PenStyle = kTables.style[era][classNo][base.PenStyle];
        if (base.PenColor <= kLastPenColor) {
            base.PenColor = kTables.color[era][classNo][base.PenColor];
        } else if (HasColorRule(classNo)) {
            base.PenColor = 2;
        }
    }
    if (base.Layer > 15) base.Layer = 0;
    if (base.LayerGroup > 15) base.LayerGroup = 0;
    if (base.PenWidth > 30000) base.PenWidth = 0;
    return base;
}

bool KeepsCommonAttributes(const TEntBase& base, std::int32_t version, int classNo) {
    // Most records keep every value: the tests are combined without branching between them.
    bool keeps = (base.Layer <= 15) & (base.LayerGroup <= 15) & (base.PenWidth <= 30000);
    if (classNo >= 1 && classNo <= 8) {
        const int era = version < kVersionFullDimension ? 1 : 0;
        keeps &= kTables.style[era][classNo][base.PenStyle] == base.PenStyle;
        if (base.PenColor <= kLastPenColor) {
            keeps &= kTables.color[era][classNo][base.PenColor] == base.PenColor;
        } else {
            keeps &= !HasColorRule(classNo);
        }
    }
    return keeps;
}

namespace {

// Steps over the body of an entity of the class. The body is read into a scratch record, so a
// point's pen style and a solid's pen colour decide what follows as in reading proper, and
// strings are stepped over. A small record is made afresh for each body, so that the fields
// nothing looks at cost no more than the bounds check of their piece; a dimension's records, of
// over 500 bytes with strings, are kept for the whole pass instead.
using EntitySkipper = LayoutReader<ByteReader, Strings::Skipped>;

struct DimensionScratch {
    TEntSunpo dimension;
    TEntSunpoExt ext;
};

template <typename Record, typename Body>
void Skip(EntitySkipper& io, Body body) {
    Record scratch;
    body(io, scratch);
}

void SkipBody(EntitySkipper& io, int classNo, DimensionScratch& scratch) {
    switch (classNo) {
        case kClassSen: Skip<TEntSen>(io, SenBody); break;
        case kClassEnko: Skip<TEntEnko>(io, EnkoBody); break;
        case kClassTen: Skip<TEntTen>(io, TenBody); break;
        case kClassMoji: Skip<TEntMoji>(io, MojiBody); break;
        case kClassSunpou:
            SunpoBody(io, scratch.dimension);
            if (io.version >= kVersionFullDimension) SunpoExtBody(io, scratch.ext);
            break;
        case kClassSolid: Skip<TEntSolid>(io, SolidBody); break;
        case kClassBlock: Skip<TEntBlock>(io, BlockBody); break;
    }
}

// How many entities of each class the list ahead holds, so that every class array is sized
// once: growing an array as it fills would copy it each time and, while it does, hold the old
// array and the new one together. Whatever this pass cannot read, the reading proper reports.
std::array<std::size_t, 8> CountAhead(const StreamReader& stream, std::int32_t count) {
    std::array<std::size_t, 8> counts{};
    ByteReader in = stream.in;
    EntitySkipper io(in, stream.version);
    DimensionScratch dimension;
    ArchiveReaderState archive = stream.archive;
    try {
        for (std::int32_t i = 0; i < count; ++i) {
            const int classNo = ReadEntityClassTag(in, archive);
            SkipBody(io, classNo, dimension);
            ++archive.Counter;
            ++counts[classNo];
        }
    } catch (const DrawingError&) {
    }
    return counts;
}

// Below this many bytes left, a list grows as it fills: the copies cost less than a pass that
// counts, and the old and new array held together for a moment stay well within the memory a
// drawing may take (three times its size and 32 MB).
constexpr std::size_t kCountAheadFromBytes = 8u << 20;
constexpr std::size_t kCountAheadBelowBytes = 256;

template <typename Record>
void Reserve(std::vector<Record>& array, std::size_t more) {
    array.reserve(array.size() + more);
}

}  // namespace

void ReadEntitySequence(StreamReader& stream, TEntityCollection& target, std::int32_t count) {
    if (count <= 0) return;
    ByteReader& in = stream.in;
    CheckEntityCount(in, count);
    target.Refs.reserve(target.Refs.size() + static_cast<std::size_t>(count));
    // Counting ahead pays where records outweigh the bytes they come from: long lists of small
    // entities (a point of 35 bytes fills a record of 56, a dimension of 143 one of over 200). A
    // short list grows by little, and a list of long texts holds more in its strings than in
    // records.
    if (in.remaining() >= kCountAheadFromBytes &&
        in.remaining() / static_cast<std::size_t>(count) < kCountAheadBelowBytes) {
        const std::array<std::size_t, 8> ahead = CountAhead(stream, count);
        Reserve(target.Sen, ahead[kClassSen]);
        Reserve(target.Enko, ahead[kClassEnko]);
        Reserve(target.Ten, ahead[kClassTen]);
        Reserve(target.Moji, ahead[kClassMoji]);
        Reserve(target.Sunpo, ahead[kClassSunpou]);
        if (stream.version >= kVersionFullDimension) Reserve(target.SunpoExt, ahead[kClassSunpou]);
        Reserve(target.Solid, ahead[kClassSolid]);
        Reserve(target.Block, ahead[kClassBlock]);
    }
    EntityReader io(in, stream.version);
    for (std::int32_t stored = 0; stored < count; ++stored) {
        const int classNo = ReadEntityClassTag(in, stream.archive);
        std::int32_t index = 0;
        switch (classNo) {
            case kClassSen: index = Append(target.Sen, io, SenBody); break;
            case kClassEnko: index = Append(target.Enko, io, EnkoBody); break;
            case kClassTen: index = Append(target.Ten, io, TenBody); break;
            case kClassMoji: index = Append(target.Moji, io, MojiBody); break;
            case kClassSunpou: index = AppendDimension(target, io); break;
            case kClassSolid: index = Append(target.Solid, io, SolidBody); break;
            case kClassBlock: index = Append(target.Block, io, BlockBody); break;
        }
        target.Refs.push_back({classNo, index});
        ++stream.archive.Counter;
    }
}

namespace {

// ---- scanning ----

using EntityScanner = LayoutScanner<ByteReader>;

template <typename Record, typename Body>
[[gnu::flatten]] void ScanBody(EntityScanner& io, Body body) {
    Record scratch;
    body(io, scratch);
}

// A dimension, and the flags words of its parts that the marking sets: each one that lacks its
// bit becomes a patch.
void ScanDimension(StreamScanner& stream, DimensionScratch& d) {
    ScanState& state = stream.state;
    state.trackFlags();
    LayoutScanner<ByteReader, true> io(stream.in, stream.version, state);
    SunpoBody(io, d.dimension);
    const bool full = io.version >= kVersionFullDimension;
    if (full) SunpoExtBody(io, d.ext);
    bool changed = false;
    std::size_t part = 0;  // the words come in the order the parts were read
    ForEachMarkedWord(d.dimension, full ? &d.ext : nullptr, io.version, [&](std::uint16_t& flags, std::uint16_t bit) {
        const std::size_t at = state.flagsOffset(part++);
        if ((flags & bit) != 0) return;
        changed = true;
        flags = static_cast<std::uint16_t>(flags | bit);
        stream.scan.patches.push_back(FlagsPatch::At(at, flags));
    });
    ++stream.scan.tally.dimensions;
    if (changed) ++stream.scan.tally.marked;
}

}  // namespace

void ScanEntitySequence(StreamScanner& stream, std::int32_t count) {
    if (count <= 0) return;
    ByteReader& in = stream.in;
    CheckEntityCount(in, count);
    EntityScanner io(in, stream.version, stream.state);
    DimensionScratch dimension;
    for (std::int32_t scanned = 0; scanned < count; ++scanned) {
        switch (ScanEntityClassTag(stream)) {
            case kClassSen: ScanBody<TEntSen>(io, SenBody); break;
            case kClassEnko: ScanBody<TEntEnko>(io, EnkoBody); break;
            case kClassTen: ScanBody<TEntTen>(io, TenBody); break;
            case kClassMoji: ScanBody<TEntMoji>(io, MojiBody); break;
            case kClassSunpou: ScanDimension(stream, dimension); break;
            case kClassSolid: ScanBody<TEntSolid>(io, SolidBody); break;
            case kClassBlock: ScanBody<TEntBlock>(io, BlockBody); break;
        }
        ++stream.archive.Counter;
        ++stream.written.Counter;
        stream.state.rewriteRecords();
    }
}

std::int32_t ScanEntityList(StreamScanner& stream) {
    stream.in.setSection(Section::EntityList);
    const std::int32_t count = ScanArchiveCount(stream.in, stream.state);
    ScanEntitySequence(stream, count);
    return count;
}

std::int32_t ReadEntityList(StreamReader& stream, TEntityCollection& target) {
    stream.in.setSection(Section::EntityList);
    const std::int32_t count = ReadArchiveCount(stream.in);
    ReadEntitySequence(stream, target, count);
    return count;
}

void WriteEntitySequence(StreamWriter& stream, const TEntityCollection& source) {
    ByteWriter& out = stream.out;
    LayoutWriter<ByteWriter> io(out, stream.version, stream.textRule);
    for (const TEntRef& ref : source.Refs) {
        if (ref.ClassNo < kClassSen || ref.ClassNo > kClassBlock) continue;
        WriteEntityClassTag(out, stream.archive, ref.ClassNo, stream.version);
        switch (ref.ClassNo) {
            case kClassSen: SenBody(io, At(source.Sen, ref.Index)); break;
            case kClassEnko: EnkoBody(io, At(source.Enko, ref.Index)); break;
            case kClassTen: TenBody(io, At(source.Ten, ref.Index)); break;
            case kClassMoji: MojiBody(io, At(source.Moji, ref.Index)); break;
            case kClassSunpou: WriteDimension(io, source, ref.Index); break;
            case kClassSolid: SolidBody(io, At(source.Solid, ref.Index)); break;
            case kClassBlock: BlockBody(io, At(source.Block, ref.Index)); break;
        }
        ++stream.archive.Counter;
    }
}

std::int32_t WrittenEntityCount(const TEntityCollection& source) {
    std::int32_t count = 0;
    for (const TEntRef& ref : source.Refs) {
        if (ref.ClassNo >= kClassSen && ref.ClassNo <= kClassBlock) ++count;
    }
    return count;
}

void WriteEntityList(StreamWriter& stream, const TEntityCollection& source) {
    WriteArchiveCount(stream.out, WrittenEntityCount(source));
    WriteEntitySequence(stream, source);
}

// Keeps the arrays' memory: a batch reads one drawing after another into the same collection.
void TEntityCollection::clear() {
    Refs.clear();
    Sen.clear();
    Enko.clear();
    Ten.clear();
    Moji.clear();
    Sunpo.clear();
    SunpoExt.clear();
    Solid.clear();
    Block.clear();
}

}  // namespace quellmark
