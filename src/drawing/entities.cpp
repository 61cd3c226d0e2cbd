// Reading and writing entity bodies and entity lists.
#include "entities.h"

#include "../app/Func_.h"

#include <string_view>

namespace quellmark {

namespace {

// The fewest bytes one entity can take: a class reference, 13 bytes of attributes, and the
// 20 bytes of a point. A count that the bytes left cannot hold is refused before any space is
// reserved for it.
constexpr std::size_t kMinEntityBytes = 2 + 13 + 20;

// ---- reading ----

void ReadSen(ByteReader& in, std::int32_t v, TEntSen& e) {
    e.Base = ReadCommonAttributes(in, v);
    e.StartX = in.f64();
    e.StartY = in.f64();
    e.EndX = in.f64();
    e.EndY = in.f64();
}

void ReadEnko(ByteReader& in, std::int32_t v, TEntEnko& e) {
    e.Base = ReadCommonAttributes(in, v);
    e.CenterX = in.f64();
    e.CenterY = in.f64();
    e.Radius = in.f64();
    e.StartAngle = in.f64();
    e.ArcAngle = in.f64();
    e.TiltAngle = in.f64();
    e.Flatness = in.f64();
    e.FullCircle = in.i32();
}

void ReadTen(ByteReader& in, std::int32_t v, TEntTen& e) {
    e.Base = ReadCommonAttributes(in, v);
    e.X = in.f64();
    e.Y = in.f64();
    e.Temporary = in.i32();
    if (e.Base.PenStyle == kPenStyleMarkedPoint) {
        e.Code = in.i32();
        e.Angle = in.f64();
        e.Scale = in.f64();
    } else {
        e.Code = 0;
        e.Angle = 0;
        e.Scale = 0;
    }
}

void ReadMoji(ByteReader& in, std::int32_t v, TEntMoji& e) {
    e.Base = ReadCommonAttributes(in, v);
    e.StartX = in.f64();
    e.StartY = in.f64();
    e.EndX = in.f64();
    e.EndY = in.f64();
    e.TextType = in.i32();
    e.SizeX = in.f64();
    e.SizeY = in.f64();
    e.Spacing = in.f64();
    e.Angle = in.f64();
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
    e.Base = ReadCommonAttributes(in, v);
    for (double& c : e.Corners) c = in.f64();
    e.Color = e.Base.PenColor == kPenColorSolidRgb ? in.i32() : 0;
}

void ReadBlock(ByteReader& in, std::int32_t v, TEntBlock& e) {
    e.Base = ReadCommonAttributes(in, v);
    e.RefX = in.f64();
    e.RefY = in.f64();
    e.ScaleX = in.f64();
    e.ScaleY = in.f64();
    e.Angle = in.f64();
    e.DefNumber = in.i32();
}

template <typename Record, typename ReadBody>
std::int32_t Append(std::vector<Record>& array, ByteReader& in, std::int32_t v, ReadBody read) {
    read(in, v, array.emplace_back());
    return static_cast<std::int32_t>(array.size() - 1);
}

// ---- normalisation ----

struct NormalisationTables {
    std::array<std::uint8_t, 256> oldPenStyle{};   // below version 420, lines and arcs
    std::array<std::uint16_t, 357> oldPenColor{};  // below version 420, classes 1 to 6

    NormalisationTables() {
        for (int i = 0; i < 256; ++i) oldPenStyle[i] = static_cast<std::uint8_t>(i);
        const std::uint8_t styles[] = {1, 4, 3, 6, 8, 8, 2, 5, 7, 6, 6, 8, 8, 17, 17};  // 31..45
        for (int i = 0; i < 15; ++i) oldPenStyle[31 + i] = styles[i];
        for (int i = 46; i <= 62; ++i) oldPenStyle[i] = 1;

        for (int i = 0; i <= 356; ++i) oldPenColor[i] = static_cast<std::uint16_t>(i);
        const std::uint16_t colors[] = {2, 8, 3, 6, 4, 5, 1, 2, 5, 8, 4, 3, 6, 5, 2, 2};  // 101..116
        for (int i = 0; i < 16; ++i) oldPenColor[101 + i] = colors[i];
        for (int i = 117; i <= 356; ++i) oldPenColor[i] = 2;
    }
};

const NormalisationTables kTables;

bool InRange(unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; }

bool ValidPenColor(unsigned color, int classNo) {
    if (InRange(color, 101, 356)) return true;
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

void WriteSen(ByteWriter& out, std::int32_t v, const TEntSen& e, int classNo = kClassSen) {
    WriteCommonAttributes(out, v, classNo, e.Base);
    out.f64(e.StartX);
    out.f64(e.StartY);
    out.f64(e.EndX);
    out.f64(e.EndY);
}

void WriteEnko(ByteWriter& out, std::int32_t v, const TEntEnko& e) {
    WriteCommonAttributes(out, v, kClassEnko, e.Base);
    out.f64(e.CenterX);
    out.f64(e.CenterY);
    out.f64(e.Radius);
    out.f64(e.StartAngle);
    out.f64(e.ArcAngle);
    out.f64(e.TiltAngle);
    out.f64(e.Flatness);
    out.i32(e.FullCircle);
}

void WriteTen(ByteWriter& out, std::int32_t v, const TEntTen& e) {
    WriteCommonAttributes(out, v, kClassTen, e.Base);
    out.f64(e.X);
    out.f64(e.Y);
    out.i32(e.Temporary);
    if (e.Base.PenStyle == kPenStyleMarkedPoint) {
        out.i32(e.Code);
        out.f64(e.Angle);
        out.f64(e.Scale);
    }
}

void WriteMoji(ByteWriter& out, std::int32_t v, const TEntMoji& e, TextRule rule) {
    WriteCommonAttributes(out, v, kClassMoji, e.Base);
    out.f64(e.StartX);
    out.f64(e.StartY);
    out.f64(e.EndX);
    out.f64(e.EndY);
    out.i32(e.TextType);
    out.f64(e.SizeX);
    out.f64(e.SizeY);
    out.f64(e.Spacing);
    out.f64(e.Angle);
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
    WriteCommonAttributes(out, v, kClassSolid, e.Base);
    for (double c : e.Corners) out.f64(c);
    if (e.Base.PenColor == kPenColorSolidRgb) out.i32(e.Color);
}

void WriteBlock(ByteWriter& out, std::int32_t v, const TEntBlock& e) {
    WriteCommonAttributes(out, v, kClassBlock, e.Base);
    out.f64(e.RefX);
    out.f64(e.RefY);
    out.f64(e.ScaleX);
    out.f64(e.ScaleY);
    out.f64(e.Angle);
    out.i32(e.DefNumber);
}

template <typename Record>
const Record& At(const std::vector<Record>& array, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= array.size()) {
        throw DrawingError("index list entry " + std::to_string(index) +
                           " points past its class array");
    }
    return array[static_cast<std::size_t>(index)];
}

}  // namespace

TEntBase ReadCommonAttributes(ByteReader& in, std::int32_t version) {
    TEntBase base;
    base.Group = in.i32();
    base.PenStyle = in.u8();
    base.PenColor = in.u16();
    base.PenWidth = version >= kVersionPenWidth ? in.u16() : 0;
    base.Layer = in.u16();
    base.LayerGroup = in.u16();
    base.Flags = in.u16();
    return base;
}

TEntBase NormalizeCommonAttributes(TEntBase base, std::int32_t version, int classNo) {
    if (version < kVersionFullDimension) {
        if (classNo == kClassSen || classNo == kClassEnko) {
            base.PenStyle = kTables.oldPenStyle[base.PenStyle];
        }
        if (classNo >= kClassSen && classNo <= kClassSolid && base.PenColor <= 356) {
            base.PenColor = kTables.oldPenColor[base.PenColor];
        }
    }
    if (!ValidPenStyle(base.PenStyle, classNo)) base.PenStyle = 1;
    if (classNo >= kClassSen && classNo <= kClassSolid && !ValidPenColor(base.PenColor, classNo)) {
        base.PenColor = 2;
    }
    if (base.Layer > 15) base.Layer = 0;
    if (base.LayerGroup > 15) base.LayerGroup = 0;
    if (base.PenWidth > 30000) base.PenWidth = 0;
    return base;
}

void WriteDrawingText(ByteWriter& out, std::string_view text) { WriteText(out, text); }

void WriteCommonAttributes(ByteWriter& out, std::int32_t version, int classNo,
                           const TEntBase& base) {
    const TEntBase b = NormalizeCommonAttributes(base, version, classNo);
    out.i32(b.Group);
    out.u8(b.PenStyle);
    out.u16(b.PenColor);
    if (version >= kVersionPenWidth) out.u16(b.PenWidth);
    out.u16(b.Layer);
    out.u16(b.LayerGroup);
    out.u16(b.Flags);
}

void ReadEntitySequence(StreamReader& stream, TEntityCollection& target, std::int32_t count) {
    if (count <= 0) return;
    ByteReader& in = stream.in;
    if (static_cast<std::size_t>(count) > in.remaining() / kMinEntityBytes) {
        in.fail("entity count " + std::to_string(count) + " is more than the " +
                std::to_string(in.remaining()) + " bytes left can hold");
    }
    target.Refs.reserve(target.Refs.size() + static_cast<std::size_t>(count));
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
    stream.in.setSection("the entity list");
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

void TEntityCollection::clear() { *this = TEntityCollection{}; }

}  // namespace quellmark
