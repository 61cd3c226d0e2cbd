// The JWW header layout, read and written block by block with its version thresholds, and the
// whole-file operations built on it.
#include "jwwunit.h"

#include "../drawing/archive.h"
#include "../drawing/blocks.h"
#include "../drawing/dimensions.h"
#include "../drawing/drawing_file.h"
#include "../drawing/entities.h"
#include "../drawing/layout.h"
#include "../drawing/scan.h"

#include <limits>

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

constexpr int kOldMarkSlots = 4;  // block 12 before eight slots
constexpr std::size_t kLayerGroupCount = 16;
constexpr std::size_t kLayersPerGroup = 16;

void SizeTables(JwwDocument& doc) {
    doc.LayerGroups.assign(kLayerGroupCount, {});
    doc.Layers.assign(kLayerGroupCount * kLayersPerGroup, {});
    doc.LineColors.assign(10, {});
    doc.LineTypes.assign(8, {});
    doc.RandomLines.assign(5, {});
    doc.DoubleLineTypes.assign(4, {});
    doc.TextStyles.assign(10, {});
    doc.ColorsEx.assign(257, {});
    doc.LineTypesEx.assign(33, {});
}

// ---- the header layout ----
// Every block is described once, in file order, and read, written and measured from that
// description (layout.h). Doc is a JwwDocument, const when written.

// Reserved values are written as zero, whatever was read.
constexpr auto WrittenAsZero =
    WriteRule<ChangeKind::HeaderValueReset>([](std::int32_t, std::int32_t) { return std::int32_t{0}; });

// Block 7's widest line: up to version 420 wider values are written as the widest those versions
// know.
constexpr auto LineWidthToWrite = WriteRule<ChangeKind::LineWidthLimited>([](std::int32_t width, std::int32_t version) {
    return version <= kVersionExtendedTables && width < kWidestOldLineWidth ? kWidestOldLineWidth : width;
});

// Block 17's split value is kept as tens and units (div and mod truncate toward zero).
constexpr auto StoreSplitValue = [](THeader& h, std::int32_t value) {
    h.SplitTens = value / 10;
    h.SplitUnits = value % 10;
};

constexpr auto SplitValueToWrite =
    WriteRule<ChangeKind::SplitValueRewritten>([](const THeader& h, std::int32_t version) {
        std::int64_t value = h.SplitUnits;
        if (version >= kVersionSplitTens) value += h.SplitTens > 0 ? std::int64_t{h.SplitTens} * 10 : 10;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    });

// One of the two extra mark slots.
template <class Io, class Slot>
void ExtraSlot(Io& io, Slot& slot) {
    for (auto& value : slot.Values) io.f64(value);
    io.i32(slot.Int);
}

// The screen and print parts of a line colour (blocks 13 and 14, from version 420 also of the
// extended colours of blocks 18 and 19), and a line type (blocks 15 and 20).
template <class Io, class Color>
void ScreenColor(Io& io, Color& c) {
    io.i32(c.ScreenColor);
    io.i32(c.ScreenWidth);
}

template <class Io, class Color>
void PrintColor(Io& io, Color& c) {
    io.i32(c.PrintColor);
    io.i32(c.PrintWidth);
    io.f64(c.PrintPointRadius);
}

template <class Io, class Type>
void LineType(Io& io, Type& t) {
    io.i32(t.Pattern);
    io.i32(t.UnitDots);
    io.i32(t.Pitch);
    io.i32(t.PrintPitch);
}

// Blocks 1 and 2: the signature and the version, which decides the sizes of what follows.
template <class Io, class Header>
void HeaderStart(Io& io, Header& h) {
    io.chars(h.Signature, kJwwSignature.size());
    io.formatVersion(h.Version);
}

// Block 3: the memo, written as it stands.
template <class Io, class Header>
void HeaderMemo(Io& io, Header& h) {
    io.text(h.Memo, TextAsStored{});
}

// Blocks 4 to 17: as far as the memo probe reads.
template <class Io, class Doc>
void HeaderBlocks4To17(Io& io, Doc& doc) {
    auto& h = doc.Header;
    const std::int32_t v = io.version;

    io.i32(h.PaperSize);  // block 4
    io.i32(h.WriteLayerGroup);

    for (std::size_t g = 0; g < kLayerGroupCount; ++g) {  // block 5
        auto& group = doc.LayerGroups[g];
        io.i32(group.State);
        io.i32(group.WriteLayer);
        io.f64(group.Scale);
        io.i32(group.Protect);
        for (std::size_t l = 0; l < kLayersPerGroup; ++l) {
            auto& layer = doc.Layers[kLayersPerGroup * g + l];
            io.i32(layer.State);
            io.i32(layer.Protect);
        }
    }

    for (auto& reserved : h.Reserved14) io.i32(reserved, WrittenAsZero);  // block 6

    for (auto& setting : h.DimensionSettings) io.i32(setting);  // block 7
    io.i32(h.Reserved1, WrittenAsZero);
    io.i32(h.MaxLineWidth, LineWidthToWrite);

    io.f64(h.PrintOriginX);  // block 8
    io.f64(h.PrintOriginY);
    io.f64(h.PrintScale);
    io.i32(h.PrintSettings);
    io.i32(h.GridMode);
    io.f64(h.GridMinSpacing);
    io.f64(h.GridSpacingX);
    io.f64(h.GridSpacingY);
    io.f64(h.GridOriginX);
    io.f64(h.GridOriginY);

    for (auto& layer : doc.Layers) io.text(layer.Name, TextName{});  // block 9
    for (auto& group : doc.LayerGroups) io.text(group.Name, TextName{});

    io.f64(h.ShadowLevel);  // block 10
    io.f64(h.ShadowLatitude);
    io.i32(h.ShadowHours);
    io.f64(h.WallShadowLevel);
    if (v >= kVersionSkyChart) {
        io.f64(h.SkyChartLevel);
        io.f64(h.SkyChartSize);
    }

    io.i32(h.Unit25D);  // block 11
    io.f64(h.ViewScale);
    io.f64(h.ViewOriginX);
    io.f64(h.ViewOriginY);
    io.f64(h.RangeScale);
    io.f64(h.RangeOriginX);
    io.f64(h.RangeOriginY);

    const bool eightSlots = v >= kVersionEightMarkSlots;  // block 12
    for (int s = 0; s < (eightSlots ? kMarkSlots : kOldMarkSlots); ++s) {
        io.f64(h.MarkScale[s]);
        io.f64(h.MarkOriginX[s]);
        io.f64(h.MarkOriginY[s]);
        if (eightSlots) io.i32(h.MarkLayerGroup[s]);
    }
    if (eightSlots) {
        ExtraSlot(io, h.ExtraSlotA);
        ExtraSlot(io, h.ExtraSlotB);
    }

    for (auto& spacing : h.ParallelSpacing) io.f64(spacing);  // block 13
    io.f64(h.ParallelEndOffset);
    for (auto& c : doc.LineColors) ScreenColor(io, c);

    for (auto& c : doc.LineColors) PrintColor(io, c);  // block 14

    for (auto& t : doc.LineTypes) LineType(io, t);  // block 15

    for (auto& r : doc.RandomLines) {  // block 16
        for (auto& value : r.Values) io.i32(value);
    }
    for (auto& d : doc.DoubleLineTypes) {
        for (auto& value : d.Values) io.i32(value);
    }

    if (v < kJwwOldestVersion) return;  // block 17; below 220 only the memo probe comes here
    for (auto& option : h.Options) io.i32(option);
    io.i32(h, StoreSplitValue, SplitValueToWrite);
    if (HasBlock17Part(v, 223)) {
        for (auto& value : h.Ext223Ints) io.i32(value);
        for (auto& value : h.Ext223Doubles) io.f64(value);
    }
    if (HasBlock17Part(v, 225)) {
        for (auto& value : h.Ext225Doubles) io.f64(value);
    }
    if (HasBlock17Part(v, 230)) {
        for (auto& value : h.Ext230Ints) io.i32(value);
    }
}

// Blocks 18 to 23: the extended tables from version 420, text styles and text settings.
template <class Io, class Doc>
void HeaderBlocks18To23(Io& io, Doc& doc) {
    if (io.version >= kVersionExtendedTables) {
        for (auto& c : doc.ColorsEx) ScreenColor(io, c);  // block 18
        for (auto& c : doc.ColorsEx) {                    // block 19
            io.text(c.Name, TextName{});
            PrintColor(io, c);
        }
        for (auto& t : doc.LineTypesEx) LineType(io, t);  // block 20
        for (auto& t : doc.LineTypesEx) {                 // block 21
            io.text(t.Name, TextName{});
            io.i32(t.Count);
            for (auto& value : t.Values) io.f64(value);
        }
    }

    for (auto& s : doc.TextStyles) {  // block 22
        io.f64(s.Width);
        io.f64(s.Height);
        io.f64(s.Spacing);
        io.i32(s.Color);
    }

    auto& t = doc.Header.TextSettings;  // block 23
    for (auto& value : t.A) io.f64(value);
    for (auto& value : t.B) io.i32(value);
    for (auto& value : t.C) io.f64(value);
    io.i32(t.D);
    for (auto& value : t.E) io.f64(value);
}

// The memo probe's reading: the header up to block 17, with the tables it needs held aside.
void ReadProbeHeader(ByteReader& in, JwwDocument& doc) {
    in.setSection(Section::Header);
    LayoutReader<ByteReader> io(in, 0);
    HeaderStart(io, doc.Header);
    HeaderMemo(io, doc.Header);
    JwwDocument scratch;
    SizeTables(scratch);
    HeaderBlocks4To17(io, scratch);
}

// The most bytes the memo probe can need: every part present and every string at its longest.
std::size_t LongestProbe() {
    LayoutCounter counter(std::numeric_limits<std::int32_t>::max(), LayoutCounter::kLongestString);
    JwwDocument shape;
    SizeTables(shape);
    HeaderStart(counter, shape.Header);
    HeaderMemo(counter, shape.Header);
    HeaderBlocks4To17(counter, shape);
    return counter.bytes;
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

bool IsJwwFile(FileSystem& fs, const std::filesystem::path& path) { return HasSignature(fs, path, DrawingFormat::Jww); }

namespace {

// The header read through io (a reader, or the scanner of copy-through) from in's position.
template <class Io>
void ReadJwwHeaderWith(ByteReader& in, Io& io, JwwDocument& doc) {
    in.setSection(Section::Header);
    SizeTables(doc);
    THeader& h = doc.Header;
    const std::size_t versionOffset = kJwwSignature.size();
    HeaderStart(io, h);
    if (h.Version < kJwwOldestVersion) in.fail(JwwVersionTooOld(h.Version), versionOffset);
    HeaderMemo(io, h);
    HeaderBlocks4To17(io, doc);
    HeaderBlocks18To23(io, doc);
}

}  // namespace

void ReadJwwHeader(ByteReader& in, JwwDocument& doc) {
    LayoutReader<ByteReader> io(in, 0);
    ReadJwwHeaderWith(in, io, doc);
}

bool ScanJwwBytes(std::span<const std::uint8_t> bytes, DrawingScan& scan, Failure* failure) {
    ResetScan(scan);
    return CatchDrawingFailure(
        [&] {
            ByteReader in(bytes);
            ScanState state(bytes, scan, TextRule::Keep);
            // Scratch that nothing is kept of; its tables keep their memory from one drawing to
            // the next on this thread, while its header starts from nothing each time.
            thread_local JwwDocument header;
            header.Header = THeader{};
            LayoutScanner<ByteReader> io(in, 0, state);
            ReadJwwHeaderWith(in, io, header);
            scan.version = header.Header.Version;
            scan.writtenVersion = scan.version;
            StreamScanner stream{in, scan.version, state, {}, {}, scan};
            stream.archive.MaxClassName = 2048;
            ScanEntityList(stream);
            ScanBlockDefinitionList(stream);
            if (scan.version >= kVersionImages) ScanImageSection(in, state);
            ScanEnd(in, state);
        },
        failure);
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
    LayoutWriter<ByteWriter> io(out, version);
    HeaderStart(io, doc.Header);
    HeaderMemo(io, doc.Header);
    HeaderBlocks4To17(io, doc);
    HeaderBlocks18To23(io, doc);
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
    DrawingRead read;
    if (!ReadDrawing(*images.Fs, path, DrawingFormat::Jww, bytes, read, failure)) {
        doc.Header.Version = read.version;
        return false;
    }
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

bool ReadJwwMemo(JwwDocument& doc, FileSystem& fs, const std::filesystem::path& path) {
    ClearJwwDocument(doc);
    // Most headers end well within the first 64 KiB. Only when the probe ran out of those bytes
    // is more read, and never more than the longest header up to block 17 can be: a memo and 272
    // names of 65535 bytes each and the fixed blocks. So listing a folder never loads a large
    // file that merely has a drawing's extension.
    constexpr std::size_t kFirstRead = 64 * 1024;
    static const std::size_t kLongestProbe = LongestProbe();
    FileBytes bytes;
    if (ReadWholeFile(fs, path, bytes, kFirstRead)) return false;
    Failure failure;
    if (ReadJwwMemoBytes(doc, bytes, &failure)) return true;
    if (bytes.size() < kFirstRead || failure.kind != FailureKind::Truncated) return false;
    if (ReadWholeFile(fs, path, bytes, kLongestProbe)) return false;
    return ReadJwwMemoBytes(doc, bytes);
}

DimensionTally AddDimensionAttributes(JwwDocument& doc, std::int32_t version) {
    return AddDimensionAttributes(doc.Entities, doc.BlockDefs, version);
}

}  // namespace quellmark
