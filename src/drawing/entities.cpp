// Reading and writing entity bodies and entity lists.
#include "entities.h"

#include "Func_.h"

#include <string_view>

namespace quellmark {

namespace {

// The fewest bytes one entity can take: a class reference, 13 bytes of attributes, and the
// 20 bytes of a point. A count that the bytes left cannot hold is refused before any space is
// reserved for it.
constexpr std::size_t kMinEntityBytes = 2 + 13 + 20;

// ---- reading ----

// The common attributes take 13 bytes, 15 from the version that added the pen width.
std::size_t BaseSize(std::int32_t v) { return v >= kVersionPenWidth ? 15 : 13; }

void ReadBase(FieldReader& f, std::int32_t v, TEntBase& base) {
    base.Group = f.i32();
    base.PenStyle = f.u8();
    base.PenColor = f.u16();
    base.PenWidth = v >= kVersionPenWidth ? f.u16() : 0;
    base.Layer = f.u16();
    base.LayerGroup = f.u16();
    base.Flags = f.u16();
}

void ReadSen(ByteReader& in, std::int32_t v, TEntSen& e) {
    FieldReader f(in.take(BaseSize(v) + 32));
    ReadBase(f, v, e.Base);
    e.StartX = f.f64();
    e.StartY = f.f64();
    e.EndX = f.f64();
    e.EndY = f.f64();
}

void ReadEnko(ByteReader& in, std::int32_t v, TEntEnko& e) {
    FieldReader f(in.take(BaseSize(v) + 60));
    ReadBase(f, v, e.Base);
    e.CenterX = f.f64();
    e.CenterY = f.f64();
    e.Radius = f.f64();
    e.StartAngle = f.f64();
    e.ArcAngle = f.f64();
    e.TiltAngle = f.f64();
    e.Flatness = f.f64();
    e.FullCircle = f.i32();
}

void ReadTen(ByteReader& in, std::int32_t v, TEntTen& e) {
    FieldReader f(in.take(BaseSize(v) + 20));
    ReadBase(f, v, e.Base);
    e.X = f.f64();
    e.Y = f.f64();
    e.Temporary = f.i32();
    if (e.Base.PenStyle == kPenStyleMarkedPoint) {
        FieldReader marked(in.take(20));
        e.Code = marked.i32();
        e.Angle = marked.f64();
        e.Scale = marked.f64();
    } else {
        e.Code = 0;
        e.Angle = 0;
        e.Scale = 0;
    }
}

void ReadMoji(ByteReader& in, std::int32_t v, TEntMoji& e) {
    FieldReader f(in.take(BaseSize(v) + 68));
    ReadBase(f, v, e.Base);
    e.StartX = f.f64();
    e.StartY = f.f64();
    e.EndX = f.f64();
    e.EndY = f.f64();
    e.TextType = f.i32();
    e.SizeX = f.f64();
    e.SizeY = f.f64();
    e.Spacing = f.f64();
    e.Angle = f.f64();
    e.FontName = ReadArchiveString(in);
    e.Text = ReadArchiveString(in);
}

void ReadSunpo(ByteReader& in, std::int32_t v, TEntSunpo& e) {
    e.Base = ReadCommonAttributes(in, v);
    ReadSen(in, v, e.Line);
    ReadMoji(in, v, e.Text);
    if (v >= kVersionFullDimension) {
        e.Mode = in.u16();
        ReadSen(in, v, e.Aux1);
        ReadSen(in, v, e.Aux2);
        for (auto& point : e.Points) ReadTen(in, v, point);
        return;
    }
    // Older drawings store only the first three parts; the rest takes the dimension's own
    // attributes so that a later write at version 420 or above has something sensible.
    e.Mode = 0;
    e.Aux1 = TEntSen{e.Base};
    e.Aux2 = TEntSen{e.Base};
    for (auto& point : e.Points) {
        point = TEntTen{e.Base};
        point.Base.PenStyle = 0;
    }
}

void ReadSolid(ByteReader& in, std::int32_t v, TEntSolid& e) {
    FieldReader f(in.take(BaseSize(v) + 64));
    ReadBase(f, v, e.Base);
    for (double& c : e.Corners) c = f.f64();
    e.Color = e.Base.PenColor == kPenColorSolidRgb ? in.i32() : 0;
}

void ReadBlock(ByteReader& in, std::int32_t v, TEntBlock& e) {
    FieldReader f(in.take(BaseSize(v) + 44));
    ReadBase(f, v, e.Base);
    e.RefX = f.f64();
    e.RefY = f.f64();
    e.ScaleX = f.f64();
    e.ScaleY = f.f64();
    e.Angle = f.f64();
    e.DefNumber = f.i32();
}

template <typename Record, typename ReadBody>
std::int32_t Append(std::vector<Record>& array, ByteReader& in, std::int32_t v, ReadBody read) {
    read(in, v, array.emplace_back());
    return static_cast<std::int32_t>(array.size() - 1);
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

void WriteText(ByteWriter& out, std::string_view text) {
    if (IsCleanSjisText(text)) {
        WriteArchiveString(out, text);
    } else {
        WriteArchiveString(out, SanitizeSjisText(text));
    }
}

constexpr std::string_view kImageReference = "^@BM%temp%";
constexpr std::string_view kShortImageReference = "^@BM";

void WriteTextContent(ByteWriter& out, std::string_view text, TextRule rule) {
    if (rule == TextRule::Keep) {
        WriteText(out, text);
        return;
    }
    std::string clean = SanitizeSjisText(text);
    if (clean.starts_with(kImageReference)) {
        clean.replace(0, kImageReference.size(), kShortImageReference);
    }
    WriteArchiveString(out, clean);
}

void WriteBase(FieldWriter& w, std::int32_t v, int classNo, const TEntBase& base) {
    const TEntBase b = NormalizeCommonAttributes(base, v, classNo);
    w.i32(b.Group);
    w.u8(b.PenStyle);
    w.u16(b.PenColor);
    if (v >= kVersionPenWidth) w.u16(b.PenWidth);
    w.u16(b.Layer);
    w.u16(b.LayerGroup);
    w.u16(b.Flags);
}

void WriteSen(ByteWriter& out, std::int32_t v, const TEntSen& e) {
    FieldWriter w(out.place(BaseSize(v) + 32));
    WriteBase(w, v, kClassSen, e.Base);
    w.f64(e.StartX);
    w.f64(e.StartY);
    w.f64(e.EndX);
    w.f64(e.EndY);
}

void WriteEnko(ByteWriter& out, std::int32_t v, const TEntEnko& e) {
    FieldWriter w(out.place(BaseSize(v) + 60));
    WriteBase(w, v, kClassEnko, e.Base);
    w.f64(e.CenterX);
    w.f64(e.CenterY);
    w.f64(e.Radius);
    w.f64(e.StartAngle);
    w.f64(e.ArcAngle);
    w.f64(e.TiltAngle);
    w.f64(e.Flatness);
    w.i32(e.FullCircle);
}

void WriteTen(ByteWriter& out, std::int32_t v, const TEntTen& e) {
    const bool marked = e.Base.PenStyle == kPenStyleMarkedPoint;
    FieldWriter w(out.place(BaseSize(v) + 20 + (marked ? 20 : 0)));
    WriteBase(w, v, kClassTen, e.Base);
    w.f64(e.X);
    w.f64(e.Y);
    w.i32(e.Temporary);
    if (marked) {
        w.i32(e.Code);
        w.f64(e.Angle);
        w.f64(e.Scale);
    }
}

void WriteMoji(ByteWriter& out, std::int32_t v, const TEntMoji& e, TextRule rule) {
    {
        FieldWriter w(out.place(BaseSize(v) + 68));
        WriteBase(w, v, kClassMoji, e.Base);
        w.f64(e.StartX);
        w.f64(e.StartY);
        w.f64(e.EndX);
        w.f64(e.EndY);
        w.i32(e.TextType);
        w.f64(e.SizeX);
        w.f64(e.SizeY);
        w.f64(e.Spacing);
        w.f64(e.Angle);
    }
    WriteText(out, e.FontName);
    WriteTextContent(out, e.Text, rule);
}

void WriteSunpo(ByteWriter& out, std::int32_t v, const TEntSunpo& e) {
    WriteCommonAttributes(out, v, kClassSunpou, e.Base);
    WriteSen(out, v, e.Line);
    WriteMoji(out, v, e.Text, TextRule::Keep);  // a dimension's text is never an image reference
    if (v < kVersionFullDimension) return;
    out.u16(e.Mode);
    WriteSen(out, v, e.Aux1);
    WriteSen(out, v, e.Aux2);
    for (const auto& point : e.Points) WriteTen(out, v, point);
}

void WriteSolid(ByteWriter& out, std::int32_t v, const TEntSolid& e) {
    const bool rgb = e.Base.PenColor == kPenColorSolidRgb;
    FieldWriter w(out.place(BaseSize(v) + 64 + (rgb ? 4 : 0)));
    WriteBase(w, v, kClassSolid, e.Base);
    for (double c : e.Corners) w.f64(c);
    if (rgb) w.i32(e.Color);
}

void WriteBlock(ByteWriter& out, std::int32_t v, const TEntBlock& e) {
    FieldWriter w(out.place(BaseSize(v) + 44));
    WriteBase(w, v, kClassBlock, e.Base);
    w.f64(e.RefX);
    w.f64(e.RefY);
    w.f64(e.ScaleX);
    w.f64(e.ScaleY);
    w.f64(e.Angle);
    w.i32(e.DefNumber);
}

template <typename Record>
const Record& At(const std::vector<Record>& array, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= array.size()) {
        throw DrawingError(FailureKind::CannotWrite, "index list entry " + std::to_string(index) +
                           " points past its class array");
    }
    return array[static_cast<std::size_t>(index)];
}

}  // namespace

TEntBase ReadCommonAttributes(ByteReader& in, std::int32_t version) {
    TEntBase base;
    FieldReader f(in.take(BaseSize(version)));
    ReadBase(f, version, base);
    return base;
}

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

void WriteDrawingText(ByteWriter& out, std::string_view text) { WriteText(out, text); }

void WriteCommonAttributes(ByteWriter& out, std::int32_t version, int classNo,
                           const TEntBase& base) {
    FieldWriter w(out.place(BaseSize(version)));
    WriteBase(w, version, classNo, base);
}

namespace {

void SkipArchiveString(ByteReader& in) {
    std::size_t length = in.u8();
    if (length == 0xFF) length = in.u16();
    in.skip(length);
}

// Steps over the body of an entity of the class, looking only at the fields that decide its
// size: a point's pen style, a solid's pen colour and the lengths of strings.
void SkipBody(ByteReader& in, std::int32_t v, int classNo) {
    const std::size_t base = BaseSize(v);
    auto line = [&] { in.skip(base + 32); };
    auto point = [&] {
        if (in.take(base + 20)[4] == kPenStyleMarkedPoint) in.skip(20);
    };
    auto text = [&] {
        in.skip(base + 68);
        SkipArchiveString(in);
        SkipArchiveString(in);
    };
    switch (classNo) {
        case kClassSen: line(); break;
        case kClassEnko: in.skip(base + 60); break;
        case kClassTen: point(); break;
        case kClassMoji: text(); break;
        case kClassSunpou:
            in.skip(base);
            line();
            text();
            if (v >= kVersionFullDimension) {
                in.skip(2);
                line();
                line();
                for (int i = 0; i < 4; ++i) point();
            }
            break;
        case kClassSolid: {
            const auto head = in.take(base + 64);
            if ((head[5] | head[6] << 8) == kPenColorSolidRgb) in.skip(4);
            break;
        }
        case kClassBlock: in.skip(base + 44); break;
    }
}

// How many entities of each class the list ahead holds, so that every class array is sized
// once: growing an array as it fills would copy it each time and, while it does, hold the old
// array and the new one together. Whatever this pass cannot read, the reading proper reports.
std::array<std::size_t, 8> CountAhead(const StreamReader& stream, std::int32_t count) {
    std::array<std::size_t, 8> counts{};
    ByteReader in = stream.in;
    ArchiveReaderState archive = stream.archive;
    try {
        for (std::int32_t i = 0; i < count; ++i) {
            const int classNo = ReadClassTag(in, archive, TagPlace::EntityList);
            SkipBody(in, stream.version, classNo);
            ++archive.Counter;
            ++counts[classNo];
        }
    } catch (const DrawingError&) {
    }
    return counts;
}

constexpr std::int32_t kCountAheadFrom = 4096;
constexpr std::size_t kCountAheadBelowBytes = 256;

template <typename Record>
void Reserve(std::vector<Record>& array, std::size_t more) {
    array.reserve(array.size() + more);
}

}  // namespace

void ReadEntitySequence(StreamReader& stream, TEntityCollection& target, std::int32_t count) {
    if (count <= 0) return;
    ByteReader& in = stream.in;
    if (static_cast<std::size_t>(count) > in.remaining() / kMinEntityBytes) {
        in.fail("entity count " + std::to_string(count) + " is more than the " +
                std::to_string(in.remaining()) + " bytes left can hold");
    }
    target.Refs.reserve(target.Refs.size() + static_cast<std::size_t>(count));
    // Counting ahead pays where records outweigh the bytes they come from: long lists of small
    // entities (a dimension of 143 bytes before version 420 fills a record of over 500). A short
    // list grows by little, and a list of long texts holds more in its strings than in records.
    if (count >= kCountAheadFrom && in.remaining() / static_cast<std::size_t>(count) < kCountAheadBelowBytes) {
        const std::array<std::size_t, 8> ahead = CountAhead(stream, count);
        Reserve(target.Sen, ahead[kClassSen]);
        Reserve(target.Enko, ahead[kClassEnko]);
        Reserve(target.Ten, ahead[kClassTen]);
        Reserve(target.Moji, ahead[kClassMoji]);
        Reserve(target.Sunpo, ahead[kClassSunpou]);
        Reserve(target.Solid, ahead[kClassSolid]);
        Reserve(target.Block, ahead[kClassBlock]);
    }
    const std::int32_t v = stream.version;
    for (std::int32_t stored = 0; stored < count; ++stored) {
        const int classNo = ReadClassTag(in, stream.archive, TagPlace::EntityList);
        std::int32_t index = 0;
        switch (classNo) {
            case kClassSen: index = Append(target.Sen, in, v, ReadSen); break;
            case kClassEnko: index = Append(target.Enko, in, v, ReadEnko); break;
            case kClassTen: index = Append(target.Ten, in, v, ReadTen); break;
            case kClassMoji: index = Append(target.Moji, in, v, ReadMoji); break;
            case kClassSunpou: index = Append(target.Sunpo, in, v, ReadSunpo); break;
            case kClassSolid: index = Append(target.Solid, in, v, ReadSolid); break;
            case kClassBlock: index = Append(target.Block, in, v, ReadBlock); break;
        }
        target.Refs.push_back({classNo, index});
        ++stream.archive.Counter;
    }
}

std::int32_t ReadEntityList(StreamReader& stream, TEntityCollection& target) {
    stream.in.setSection(Section::EntityList);
    const std::int32_t count = ReadArchiveCount(stream.in);
    ReadEntitySequence(stream, target, count);
    return count;
}

void WriteEntitySequence(StreamWriter& stream, const TEntityCollection& source) {
    ByteWriter& out = stream.out;
    const std::int32_t v = stream.version;
    for (const TEntRef& ref : source.Refs) {
        if (ref.ClassNo < kClassSen || ref.ClassNo > kClassBlock) continue;
        WriteClassTag(out, stream.archive, ref.ClassNo, v);
        switch (ref.ClassNo) {
            case kClassSen: WriteSen(out, v, At(source.Sen, ref.Index)); break;
            case kClassEnko: WriteEnko(out, v, At(source.Enko, ref.Index)); break;
            case kClassTen: WriteTen(out, v, At(source.Ten, ref.Index)); break;
            case kClassMoji: WriteMoji(out, v, At(source.Moji, ref.Index), stream.textRule); break;
            case kClassSunpou: WriteSunpo(out, v, At(source.Sunpo, ref.Index)); break;
            case kClassSolid: WriteSolid(out, v, At(source.Solid, ref.Index)); break;
            case kClassBlock: WriteBlock(out, v, At(source.Block, ref.Index)); break;
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
    Solid.clear();
    Block.clear();
}

}  // namespace quellmark
