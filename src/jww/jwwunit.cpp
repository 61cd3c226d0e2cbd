// The JWW header layout, read and written block by block with its version thresholds, and the
// whole-file operations built on it.
#include "jwwunit.h"

#include "../drawing/Func_.h"
#include "../drawing/archive.h"
#include "../drawing/blocks.h"
#include "../drawing/dimensions.h"
#include "../drawing/drawing_file.h"
#include "../drawing/entities.h"

#include <array>

namespace quellmark {

namespace {

// Layout thresholds of the header.
constexpr std::int32_t kVersionEightMarkSlots = 231;  // block 12: 8 slots from here on
constexpr std::int32_t kVersionSkyChart = 300;        // block 10: 44 bytes from here on
constexpr std::int32_t kVersionExtendedTables = 420;  // blocks 18 to 21
constexpr std::int32_t kVersionSplitTens = 600;       // block 17: the split value keeps its tens
constexpr std::int32_t kWidestOldLineWidth = -101;    // block 7 clamp up to version 420

// Block 17 grows in steps: 44 bytes, then the 223 part (to 104), the 225 part (to 136) and the
// 230 part (to 144). Versions between the steps take the size of the step below them, and the
// reader, the writer and the memo probe all agree on it.
bool HasBlock17Part(std::int32_t version, std::int32_t from) { return version >= from; }

void SizeTables(JwwDocument& doc) {
    doc.LayerGroups.assign(16, {});
    doc.Layers.assign(256, {});
    doc.LineColors.assign(10, {});
    doc.LineTypes.assign(8, {});
    doc.RandomLines.assign(5, {});
    doc.DoubleLineTypes.assign(4, {});
    doc.TextStyles.assign(10, {});
    doc.ColorsEx.assign(257, {});
    doc.LineTypesEx.assign(33, {});
}

template <std::size_t N>
void ReadInts(ByteReader& in, std::array<std::int32_t, N>& values) {
    for (auto& v : values) v = in.i32();
}
template <std::size_t N>
void ReadDoubles(ByteReader& in, std::array<double, N>& values) {
    for (auto& v : values) v = in.f64();
}
template <std::size_t N>
void WriteInts(ByteWriter& out, const std::array<std::int32_t, N>& values) {
    for (auto v : values) out.i32(v);
}
template <std::size_t N>
void WriteDoubles(ByteWriter& out, const std::array<double, N>& values) {
    for (auto v : values) out.f64(v);
}

void ReadExtraSlot(ByteReader& in, TExtraSlot& slot) {
    ReadDoubles(in, slot.Values);
    slot.Int = in.i32();
}
void WriteExtraSlot(ByteWriter& out, const TExtraSlot& slot) {
    WriteDoubles(out, slot.Values);
    out.i32(slot.Int);
}

// Blocks 4 to 17, shared by the full reader and the memo probe.
void ReadHeaderBlocks4To17(ByteReader& in, JwwDocument& doc) {
    THeader& h = doc.Header;
    const std::int32_t v = h.Version;

    h.PaperSize = in.i32();  // block 4
    h.WriteLayerGroup = in.i32();

    for (int g = 0; g < 16; ++g) {  // block 5
        TLayerGroup& group = doc.LayerGroups[g];
        group.State = in.i32();
        group.WriteLayer = in.i32();
        group.Scale = in.f64();
        group.Protect = in.i32();
        for (int l = 0; l < 16; ++l) {
            TLayer& layer = doc.Layers[16 * g + l];
            layer.State = in.i32();
            layer.Protect = in.i32();
        }
    }

    ReadInts(in, h.Reserved14);  // block 6

    ReadInts(in, h.DimensionSettings);  // block 7
    h.Reserved1 = in.i32();
    h.MaxLineWidth = in.i32();

    h.PrintOriginX = in.f64();  // block 8
    h.PrintOriginY = in.f64();
    h.PrintScale = in.f64();
    h.PrintSettings = in.i32();
    h.GridMode = in.i32();
    h.GridMinSpacing = in.f64();
    h.GridSpacingX = in.f64();
    h.GridSpacingY = in.f64();
    h.GridOriginX = in.f64();
    h.GridOriginY = in.f64();

    for (TLayer& layer : doc.Layers) layer.Name = ReadArchiveString(in);  // block 9
    for (TLayerGroup& group : doc.LayerGroups) group.Name = ReadArchiveString(in);

    h.ShadowLevel = in.f64();  // block 10
    h.ShadowLatitude = in.f64();
    h.ShadowHours = in.i32();
    h.WallShadowLevel = in.f64();
    if (v >= kVersionSkyChart) {
        h.SkyChartLevel = in.f64();
        h.SkyChartSize = in.f64();
    }

    h.Unit25D = in.i32();  // block 11
    h.ViewScale = in.f64();
    h.ViewOriginX = in.f64();
    h.ViewOriginY = in.f64();
    h.RangeScale = in.f64();
    h.RangeOriginX = in.f64();
    h.RangeOriginY = in.f64();

    const bool eightSlots = v >= kVersionEightMarkSlots;  // block 12
    for (int s = 0; s < (eightSlots ? 8 : 4); ++s) {
        h.MarkScale[s] = in.f64();
        h.MarkOriginX[s] = in.f64();
        h.MarkOriginY[s] = in.f64();
        if (eightSlots) h.MarkLayerGroup[s] = in.i32();
    }
    if (eightSlots) {
        ReadExtraSlot(in, h.ExtraSlotA);
        ReadExtraSlot(in, h.ExtraSlotB);
    }

    ReadDoubles(in, h.ParallelSpacing);  // block 13
    h.ParallelEndOffset = in.f64();
    for (TLineColorDef& c : doc.LineColors) {
        c.ScreenColor = in.i32();
        c.ScreenWidth = in.i32();
    }

    for (TLineColorDef& c : doc.LineColors) {  // block 14
        c.PrintColor = in.i32();
        c.PrintWidth = in.i32();
        c.PrintPointRadius = in.f64();
    }

    for (TLineTypeDef& t : doc.LineTypes) {  // block 15
        t.Pattern = in.i32();
        t.UnitDots = in.i32();
        t.Pitch = in.i32();
        t.PrintPitch = in.i32();
    }

    for (TRandomLineDef& r : doc.RandomLines) ReadInts(in, r.Values);  // block 16
    for (TDoubleLineTypeDef& d : doc.DoubleLineTypes) ReadInts(in, d.Values);

    if (v >= kJwwOldestVersion) {  // block 17; below 220 only the memo probe comes here
        ReadInts(in, h.Options);
        const std::int32_t split = in.i32();
        h.SplitTens = split / 10;
        h.SplitUnits = split % 10;
        if (HasBlock17Part(v, 223)) {
            ReadInts(in, h.Ext223Ints);
            ReadDoubles(in, h.Ext223Doubles);
        }
        if (HasBlock17Part(v, 225)) ReadDoubles(in, h.Ext225Doubles);
        if (HasBlock17Part(v, 230)) ReadInts(in, h.Ext230Ints);
    }
}

// The memo probe's view of blocks 4 to 17: the same sizes, with the tables it needs.
void ReadProbeHeader(ByteReader& in, JwwDocument& doc) {
    in.setSection(Section::Header);
    THeader& h = doc.Header;
    h.Signature = in.takeString(kJwwSignature.size());
    h.Version = in.i32();
    h.Memo = ReadArchiveString(in);
    JwwDocument scratch;
    SizeTables(scratch);
    scratch.Header.Version = h.Version;
    ReadHeaderBlocks4To17(in, scratch);
}

std::int32_t SplitValueToWrite(const THeader& h, std::int32_t version) {
    std::int64_t value = h.SplitUnits;
    if (version >= kVersionSplitTens) value += h.SplitTens > 0 ? std::int64_t{h.SplitTens} * 10 : 10;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

template <typename T>
void RequireLength(const std::vector<T>& table, std::size_t length, const char* name) {
    if (table.size() != length) {
        throw DrawingError(FailureKind::CannotWrite, std::string("header table ") + name + " holds " +
                           std::to_string(table.size()) + " entries instead of " +
                           std::to_string(length));
    }
}

}  // namespace

void ClearJwwDocument(JwwDocument& doc) {
    doc.Header = THeader{};
    doc.LayerGroups.clear();
    doc.Layers.clear();
    doc.LineColors.clear();
    doc.LineTypes.clear();
    doc.RandomLines.clear();
    doc.DoubleLineTypes.clear();
    doc.ColorsEx.clear();
    doc.LineTypesEx.clear();
    doc.TextStyles.clear();
    doc.Entities.clear();
    doc.BlockDefs.clear();
    doc.TrailingBytes = 0;
}

void FreeJwwDocument(JwwDocument& doc) {
    for (TEntBlockDef& def : doc.BlockDefs) def.Members.clear();
    ClearJwwDocument(doc);
}

bool IsJwwFile(const std::filesystem::path& path, FileSystem& fs) {
    return HasSignature(fs, path, kJwwSignature);
}

void ReadJwwHeader(ByteReader& in, JwwDocument& doc) {
    in.setSection(Section::Header);
    SizeTables(doc);
    THeader& h = doc.Header;
    h.Signature = in.takeString(kJwwSignature.size());
    const std::size_t versionOffset = in.offset();
    h.Version = in.i32();
    if (h.Version < kJwwOldestVersion) {
        in.fail("version " + std::to_string(h.Version) + " is older than " +
                    std::to_string(kJwwOldestVersion) + ", the oldest version this program reads",
                versionOffset);
    }
    h.Memo = ReadArchiveString(in);
    ReadHeaderBlocks4To17(in, doc);

    if (h.Version >= kVersionExtendedTables) {
        for (TColorExNo& c : doc.ColorsEx) {  // block 18
            c.ScreenColor = in.i32();
            c.ScreenWidth = in.i32();
        }
        for (TColorExNo& c : doc.ColorsEx) {  // block 19
            c.Name = ReadArchiveString(in);
            c.PrintColor = in.i32();
            c.PrintWidth = in.i32();
            c.PrintPointRadius = in.f64();
        }
        for (TLineTypeExNo& t : doc.LineTypesEx) {  // block 20
            t.Pattern = in.i32();
            t.UnitDots = in.i32();
            t.Pitch = in.i32();
            t.PrintPitch = in.i32();
        }
        for (TLineTypeExNo& t : doc.LineTypesEx) {  // block 21
            t.Name = ReadArchiveString(in);
            t.Count = in.i32();
            ReadDoubles(in, t.Values);
        }
    }

    for (TTextStyleDef& s : doc.TextStyles) {  // block 22
        s.Width = in.f64();
        s.Height = in.f64();
        s.Spacing = in.f64();
        s.Color = in.i32();
    }

    TTextSettings& t = h.TextSettings;  // block 23
    ReadDoubles(in, t.A);
    ReadInts(in, t.B);
    ReadDoubles(in, t.C);
    t.D = in.i32();
    ReadDoubles(in, t.E);
}

void WriteJwwHeader(ByteWriter& out, const JwwDocument& doc, std::int32_t version) {
    RequireLength(doc.LayerGroups, 16, "LayerGroups");
    RequireLength(doc.Layers, 256, "Layers");
    RequireLength(doc.LineColors, 10, "LineColors");
    RequireLength(doc.LineTypes, 8, "LineTypes");
    RequireLength(doc.RandomLines, 5, "RandomLines");
    RequireLength(doc.DoubleLineTypes, 4, "DoubleLineTypes");
    RequireLength(doc.TextStyles, 10, "TextStyles");
    if (version >= kVersionExtendedTables) {
        RequireLength(doc.ColorsEx, 257, "ColorsEx");
        RequireLength(doc.LineTypesEx, 33, "LineTypesEx");
    }
    const THeader& h = doc.Header;
    const std::int32_t v = version;

    std::array<char, 8> signature{};  // block 1
    FillCharArray(signature, 0, static_cast<std::int32_t>(signature.size()));
    CopyToCharArray(signature, h.Signature, static_cast<std::int32_t>(signature.size()));
    out.bytes(std::string_view(signature.data(), signature.size()));
    out.i32(v);  // block 2
    WriteArchiveString(out, h.Memo);  // block 3, as it stands

    out.i32(h.PaperSize);  // block 4
    out.i32(h.WriteLayerGroup);

    for (int g = 0; g < 16; ++g) {  // block 5
        const TLayerGroup& group = doc.LayerGroups[g];
        out.i32(group.State);
        out.i32(group.WriteLayer);
        out.f64(group.Scale);
        out.i32(group.Protect);
        for (int l = 0; l < 16; ++l) {
            const TLayer& layer = doc.Layers[16 * g + l];
            out.i32(layer.State);
            out.i32(layer.Protect);
        }
    }

    out.fill(0, 14 * 4);  // block 6: reserved, always zero

    WriteInts(out, h.DimensionSettings);  // block 7
    out.i32(0);                           // reserved
    out.i32(v <= kVersionExtendedTables && h.MaxLineWidth < kWidestOldLineWidth ? kWidestOldLineWidth
                                                                                 : h.MaxLineWidth);

    out.f64(h.PrintOriginX);  // block 8
    out.f64(h.PrintOriginY);
    out.f64(h.PrintScale);
    out.i32(h.PrintSettings);
    out.i32(h.GridMode);
    out.f64(h.GridMinSpacing);
    out.f64(h.GridSpacingX);
    out.f64(h.GridSpacingY);
    out.f64(h.GridOriginX);
    out.f64(h.GridOriginY);

    for (const TLayer& layer : doc.Layers) WriteDrawingText(out, layer.Name);  // block 9
    for (const TLayerGroup& group : doc.LayerGroups) WriteDrawingText(out, group.Name);

    out.f64(h.ShadowLevel);  // block 10
    out.f64(h.ShadowLatitude);
    out.i32(h.ShadowHours);
    out.f64(h.WallShadowLevel);
    if (v >= kVersionSkyChart) {
        out.f64(h.SkyChartLevel);
        out.f64(h.SkyChartSize);
    }

    out.i32(h.Unit25D);  // block 11
    out.f64(h.ViewScale);
    out.f64(h.ViewOriginX);
    out.f64(h.ViewOriginY);
    out.f64(h.RangeScale);
    out.f64(h.RangeOriginX);
    out.f64(h.RangeOriginY);

    const bool eightSlots = v >= kVersionEightMarkSlots;  // block 12
    for (int s = 0; s < (eightSlots ? 8 : 4); ++s) {
        out.f64(h.MarkScale[s]);
        out.f64(h.MarkOriginX[s]);
        out.f64(h.MarkOriginY[s]);
        if (eightSlots) out.i32(h.MarkLayerGroup[s]);
    }
    if (eightSlots) {
        WriteExtraSlot(out, h.ExtraSlotA);
        WriteExtraSlot(out, h.ExtraSlotB);
    }

    WriteDoubles(out, h.ParallelSpacing);  // block 13
    out.f64(h.ParallelEndOffset);
    for (const TLineColorDef& c : doc.LineColors) {
        out.i32(c.ScreenColor);
        out.i32(c.ScreenWidth);
    }

    for (const TLineColorDef& c : doc.LineColors) {  // block 14
        out.i32(c.PrintColor);
        out.i32(c.PrintWidth);
        out.f64(c.PrintPointRadius);
    }

    for (const TLineTypeDef& t : doc.LineTypes) {  // block 15
        out.i32(t.Pattern);
        out.i32(t.UnitDots);
        out.i32(t.Pitch);
        out.i32(t.PrintPitch);
    }

    for (const TRandomLineDef& r : doc.RandomLines) WriteInts(out, r.Values);  // block 16
    for (const TDoubleLineTypeDef& d : doc.DoubleLineTypes) WriteInts(out, d.Values);

    WriteInts(out, h.Options);  // block 17
    out.i32(SplitValueToWrite(h, v));
    if (HasBlock17Part(v, 223)) {
        WriteInts(out, h.Ext223Ints);
        WriteDoubles(out, h.Ext223Doubles);
    }
    if (HasBlock17Part(v, 225)) WriteDoubles(out, h.Ext225Doubles);
    if (HasBlock17Part(v, 230)) WriteInts(out, h.Ext230Ints);

    if (v >= kVersionExtendedTables) {
        for (const TColorExNo& c : doc.ColorsEx) {  // block 18
            out.i32(c.ScreenColor);
            out.i32(c.ScreenWidth);
        }
        for (const TColorExNo& c : doc.ColorsEx) {  // block 19
            WriteDrawingText(out, c.Name);
            out.i32(c.PrintColor);
            out.i32(c.PrintWidth);
            out.f64(c.PrintPointRadius);
        }
        for (const TLineTypeExNo& t : doc.LineTypesEx) {  // block 20
            out.i32(t.Pattern);
            out.i32(t.UnitDots);
            out.i32(t.Pitch);
            out.i32(t.PrintPitch);
        }
        for (const TLineTypeExNo& t : doc.LineTypesEx) {  // block 21
            WriteDrawingText(out, t.Name);
            out.i32(t.Count);
            WriteDoubles(out, t.Values);
        }
    }

    for (const TTextStyleDef& s : doc.TextStyles) {  // block 22
        out.f64(s.Width);
        out.f64(s.Height);
        out.f64(s.Spacing);
        out.i32(s.Color);
    }

    const TTextSettings& t = h.TextSettings;  // block 23
    WriteDoubles(out, t.A);
    WriteInts(out, t.B);
    WriteDoubles(out, t.C);
    out.i32(t.D);
    WriteDoubles(out, t.E);
}

bool ReadJwwBytes(JwwDocument& doc, ImageStore& images, std::span<const std::uint8_t> bytes,
                  Failure* failure) {
    ClearJwwDocument(doc);
    DeleteTempImages(images);
    ClearImageList(images);
    const bool ok = CatchDrawingFailure(
        [&] {
            ByteReader in(bytes);
            ReadJwwHeader(in, doc);
            StreamReader stream{in, doc.Header.Version, {}};
            stream.archive.MaxClassName = 2048;
            doc.Header.EntityCount = ReadEntityList(stream, doc.Entities);
            doc.Header.BlockDefCount = ReadBlockDefinitionList(stream, doc.BlockDefs);
            if (doc.Header.Version >= kVersionImages) ReadImageSection(in, images);
            doc.TrailingBytes = in.remaining();
        },
        failure);
    if (!ok) DeleteTempImages(images);
    return ok;
}

bool ReadJwwFile(JwwDocument& doc, ImageStore& images, const std::filesystem::path& path,
                 Failure* failure) {
    ClearJwwDocument(doc);
    FileBytes bytes;
    if (!ReadDrawingBytes(*images.Fs, path, bytes, failure)) return false;
    return ReadJwwBytes(doc, images, bytes, failure);
}

void WriteEntityStream(ByteWriter& out, const JwwDocument& doc, ImageStore& images,
                       std::int32_t version) {
    StreamWriter stream{out, version, TextRule::Keep, {}};
    WriteEntityList(stream, doc.Entities);
    WriteBlockDefinitionList(stream, doc.BlockDefs);
    if (version >= kVersionImages) WriteImageSection(out, images, doc.Entities, doc.BlockDefs);
}

void WriteJwwStream(ByteWriter& out, const JwwDocument& doc, ImageStore& images,
                    std::int32_t version) {
    WriteJwwHeader(out, doc, version);
    WriteEntityStream(out, doc, images, version);
}

bool WriteJwwFile(const JwwDocument& doc, ImageStore& images, const std::filesystem::path& path,
                  std::int32_t version, Failure* failure, const WriteSettings& settings) {
    return WriteDrawingFile(
        *images.Fs, path, settings,
        [&](ByteWriter& out) { WriteJwwStream(out, doc, images, version); }, failure);
}

bool ReadJwwMemoBytes(JwwDocument& doc, std::span<const std::uint8_t> bytes, Failure* failure) {
    ClearJwwDocument(doc);
    return CatchDrawingFailure(
        [&] {
            ByteReader in(bytes);
            ReadProbeHeader(in, doc);
        },
        failure);
}

bool ReadJwwMemo(JwwDocument& doc, const std::filesystem::path& path, FileSystem& fs) {
    ClearJwwDocument(doc);
    // Most headers end well within the first 64 KiB. Only when the probe ran out of those bytes
    // is more read, and never more than the longest header up to block 17 can be: a memo and 272
    // names of 65535 bytes each and the fixed blocks. So listing a folder never loads a large
    // file that merely has a drawing's extension.
    constexpr std::size_t kFirstRead = 64 * 1024;
    constexpr std::size_t kLongestProbe = 12 + 273 * (3 + 65535) + 8 + 2368 + 56 + 28 + 72 + 44 +
                                          52 + 280 + 168 + 160 + 128 + 164 + 144;
    FileBytes bytes;
    if (fs.readFile(path, bytes, kFirstRead)) return false;
    Failure failure;
    if (ReadJwwMemoBytes(doc, bytes, &failure)) return true;
    if (bytes.size() < kFirstRead || failure.kind != FailureKind::Truncated) return false;
    if (fs.readFile(path, bytes, kLongestProbe)) return false;
    return ReadJwwMemoBytes(doc, bytes);
}

DimensionTally AddDimensionAttributes(JwwDocument& doc, std::int32_t version) {
    return AddDimensionAttributes(doc.Entities, doc.BlockDefs, version);
}

}  // namespace quellmark
