// JWS reading and writing: the fixed header, then the shared entity and block definition lists.
#include "jwsunit.h"

#include "../drawing/blocks.h"
#include "../drawing/dimensions.h"
#include "../drawing/drawing_file.h"
#include "../drawing/entities.h"
#include "../drawing/layout.h"
#include "../drawing/scan.h"

namespace quellmark {

namespace {

constexpr std::size_t kFillerSize = 193;  // bytes 7 to 199, not interpreted
constexpr std::uint8_t kFillerByte = 0x2E;
constexpr std::size_t kMaxJwsClassName = 200;

// The header (kJwsHeaderSize bytes), described once for reading and writing (layout.h). Doc is a
// JwsDocument, const when written.
template <class Io, class Doc>
void JwsHeader(Io& io, Doc& doc) {
    auto& h = doc.Header;
    io.chars(h.Signature, kJwsSignature.size());
    io.filler(kFillerSize, kFillerByte);
    io.formatVersion(h.Version);
    for (auto& value : h.LeadReals) io.f64(value);
    for (auto& group : doc.JwsLayerGroups) io.f64(group.Scale);
    for (auto& value : h.SettingInts) io.i32(value);
    for (auto& value : h.SettingReals) io.f64(value);
}

}  // namespace

void ClearJwsDocument(JwsDocument& doc) {
    doc.Header = TJwsHeader{};
    doc.JwsLayerGroups.clear();
    doc.Entities.clear();
    doc.BlockDefs.clear();
    doc.TrailingBytes = 0;
}

void FreeJwsDocument(JwsDocument& doc) {
    for (TEntBlockDef& def : doc.BlockDefs) def.Members.clear();
    ClearJwsDocument(doc);
}

bool IsJwsFile(FileSystem& fs, const std::filesystem::path& path) { return HasSignature(fs, path, DrawingFormat::Jws); }

bool ReadJwsBytes(JwsDocument& doc, std::span<const std::uint8_t> bytes, Failure* failure) {
    ClearJwsDocument(doc);
    return CatchDrawingFailure(
        [&] {
            ByteReader in(bytes);
            in.setSection(Section::Header);
            doc.JwsLayerGroups.assign(16, {});
            TJwsHeader& h = doc.Header;
            LayoutReader<ByteReader> io(in, 0);
            JwsHeader(io, doc);

            StreamReader stream{in, h.Version, {}};
            stream.archive.MaxClassName = kMaxJwsClassName;
            h.EntityCount = ReadEntityList(stream, doc.Entities);
            h.BlockDefCount = ReadBlockDefinitionList(stream, doc.BlockDefs);
            doc.TrailingBytes = in.remaining();
            // Whatever follows the block definition list is not part of the drawing.
        },
        failure);
}

bool ScanJwsBytes(std::span<const std::uint8_t> bytes, DrawingScan& scan, Failure* failure) {
    ResetScan(scan);
    return CatchDrawingFailure(
        [&] {
            ByteReader in(bytes);
            in.setSection(Section::Header);
            ScanState state(bytes, scan, TextRule::ShortenImageReference);
            JwsDocument header;  // scratch: nothing of it is kept
            header.JwsLayerGroups.assign(16, {});
            LayoutScanner<ByteReader> io(in, 0, state);
            JwsHeader(io, header);
            scan.version = header.Header.Version;
            // A version the writer moves up is written in the header, in the schema word of each
            // class named in full, and, from 300 to 351, with a pen width in every set of common
            // attributes.
            scan.writtenVersion = AdjustJwsVersion(scan.version);
            state.writtenVersion = scan.writtenVersion;
            if (scan.writtenVersion != scan.version) {
                state.change(ChangeKind::VersionRaised, kJwsSignature.size() + kFillerSize, 4,
                             I32Bytes(scan.writtenVersion));
            }
            StreamScanner stream{in, scan.version, state, {}, {}, scan};
            stream.archive.MaxClassName = kMaxJwsClassName;
            ScanEntityList(stream);
            ScanBlockDefinitionList(stream);
            ScanEnd(in, state);
        },
        failure);
}

bool ReadJwsFile(JwsDocument& doc, FileSystem& fs, const std::filesystem::path& path, Failure* failure) {
    ClearJwsDocument(doc);
    FileBytes bytes;
    DrawingRead read;
    if (!ReadDrawing(fs, path, DrawingFormat::Jws, bytes, read, failure)) return false;
    return ReadJwsBytes(doc, bytes, failure);
}

std::int32_t AdjustJwsVersion(std::int32_t version) {
    if (version <= 230) version = 230;
    if (version == 300) version = 351;
    return version;
}

void WriteJwsHeader(ByteWriter& out, const JwsDocument& doc, std::int32_t version) {
    if (doc.JwsLayerGroups.size() != 16) {
        throw DrawingError(
            FailureKind::CannotWrite,
            "the layer group table holds " + std::to_string(doc.JwsLayerGroups.size()) + " entries instead of 16");
    }
    LayoutWriter<ByteWriter> io(out, version);
    JwsHeader(io, doc);
}

void WriteJwsEntityStream(ByteWriter& out, const JwsDocument& doc, std::int32_t version) {
    StreamWriter stream{out, version, TextRule::ShortenImageReference, {}};
    WriteEntityList(stream, doc.Entities);
    WriteBlockDefinitionList(stream, doc.BlockDefs);
}

void WriteJwsStream(ByteWriter& out, const JwsDocument& doc, std::int32_t version) {
    const std::int32_t written = AdjustJwsVersion(version);
    WriteJwsHeader(out, doc, written);
    WriteJwsEntityStream(out, doc, written);
}

bool WriteJwsFile(const JwsDocument& doc, FileSystem& fs, const std::filesystem::path& path, std::int32_t version,
                  Failure* failure, const WriteSettings& settings) {
    return WriteDrawingFile(
        fs, path, settings, [&](ByteWriter& out) { WriteJwsStream(out, doc, version); },
        failure);
}

DimensionTally AddDimensionAttributes(JwsDocument& doc, std::int32_t version) {
    return AddDimensionAttributes(doc.Entities, doc.BlockDefs, version);
}

}  // namespace quellmark
