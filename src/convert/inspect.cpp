// Describing a drawing for `info`: read it like a conversion would, keep no image bytes, count.
#include "inspect.h"

#include "../drawing/images.h"
#include "../drawing/scan.h"
#include "../jws/jwsunit.h"
#include "../jww/jwwunit.h"

namespace quellmark {

namespace {

void CountCollection(const TEntityCollection& top, const std::vector<TEntBlockDef>& blocks, std::int32_t version,
                     DrawingInfo& info) {
    for (const TEntRef& ref : top.Refs) {
        if (ref.ClassNo >= 1 && ref.ClassNo <= kEntityClassCount) ++info.entitiesByClass[ref.ClassNo];
    }
    info.entityCount = static_cast<std::int64_t>(top.Refs.size());
    info.dimensions = CountDimensions(top, blocks, version);
    for (const TEntBlockDef& def : blocks) {
        info.blocks.push_back({def.Name, static_cast<std::int64_t>(def.Members.size())});
    }
}

// What a conversion would change, from the scan of the bytes already read whole.
void ScanChanges(std::span<const std::uint8_t> bytes, DrawingFormat format, DrawingInfo& info) {
    DrawingScan scan;
    if (!(format == DrawingFormat::Jww ? ScanJwwBytes(bytes, scan) : ScanJwsBytes(bytes, scan))) return;
    info.toMark = scan.tally.marked;
    info.changes = scan.changes;
    info.changes[ChangeKind::TrailingBytesDropped] = 0;
    info.end = scan.end;
    info.trailingBytes = scan.trailingBytes;
}

}  // namespace

bool InspectDrawing(FileSystem& fs, const std::filesystem::path& path, DrawingInfo& info, Failure* failure) {
    info = DrawingInfo{};
    FileBytes bytes;
    DrawingRead read;
    if (!ReadDrawing(fs, path, DrawingFormat::None, bytes, read, failure)) return false;
    info.format = read.format;
    if (read.format == DrawingFormat::Jww) {
        JwwDocument doc;
        ImageStore images(fs);
        images.KeepBytes = false;
        const bool ok = ReadJwwBytes(doc, images, bytes, failure);
        info.version = doc.Header.Version;
        info.memo = doc.Header.Memo;
        if (!ok) return false;
        CountCollection(doc.Entities, doc.BlockDefs, info.version, info);
        FlagReferencedImages(images, doc.Entities, doc.BlockDefs);
        for (const TBindImageType& image : images.Images) {
            info.images.push_back({image.Name, image.Size, image.Bind});
        }
        ScanChanges(bytes, read.format, info);
        return true;
    }
    JwsDocument doc;
    const bool ok = ReadJwsBytes(doc, bytes, failure);
    info.version = doc.Header.Version;
    if (!ok) return false;
    CountCollection(doc.Entities, doc.BlockDefs, info.version, info);
    ScanChanges(bytes, read.format, info);
    return true;
}

}  // namespace quellmark
