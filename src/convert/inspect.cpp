// Describing a drawing for `info`: read it like a conversion would, keep no image bytes, count.
#include "inspect.h"

#include "../drawing/drawing_file.h"
#include "../drawing/images.h"

#include <algorithm>
#include "../jws/jwsunit.h"
#include "../jww/jwwunit.h"

namespace quellmark {

namespace {

void CountCollection(const TEntityCollection& top, const std::vector<TEntBlockDef>& blocks,
                     std::int32_t version, DrawingInfo& info) {
    for (const TEntRef& ref : top.Refs) {
        if (ref.ClassNo >= 1 && ref.ClassNo <= kEntityClassCount) ++info.entitiesByClass[ref.ClassNo];
    }
    info.entityCount = static_cast<std::int64_t>(top.Refs.size());
    info.dimensions = CountDimensions(top, blocks, version);
    for (const TEntBlockDef& def : blocks) {
        info.blocks.push_back({def.Name, static_cast<std::int64_t>(def.Members.size())});
    }
}

}  // namespace

const char* FormatName(DrawingFormat format) {
    switch (format) {
        case DrawingFormat::Jww: return "JWW";
        case DrawingFormat::Jws: return "JWS";
        default: return "";
    }
}

DrawingFormat DetectFormat(const std::filesystem::path& path, FileSystem& fs) {
    if (IsJwwFile(path, fs)) return DrawingFormat::Jww;
    if (IsJwsFile(path, fs)) return DrawingFormat::Jws;
    return DrawingFormat::None;
}

bool InspectDrawing(const std::filesystem::path& path, DrawingInfo& info, Failure* failure,
                    FileSystem& fs) {
    info = DrawingInfo{};
    FileBytes bytes;
    if (!ReadDrawingBytes(fs, path, bytes, failure)) return false;
    auto startsWith = [&](std::string_view signature) {
        return bytes.size() >= signature.size() &&
               std::equal(signature.begin(), signature.end(), bytes.begin(),
                          [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
    };

    if (startsWith(kJwwSignature)) {
        info.format = DrawingFormat::Jww;
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
        return true;
    }
    if (startsWith(kJwsSignature)) {
        info.format = DrawingFormat::Jws;
        JwsDocument doc;
        const bool ok = ReadJwsBytes(doc, bytes, failure);
        info.version = doc.Header.Version;
        if (!ok) return false;
        CountCollection(doc.Entities, doc.BlockDefs, info.version, info);
        return true;
    }
    if (failure) *failure = MakeFailure(FailureKind::NotADrawing, "not a JWW or JWS drawing (no signature)");
    return false;
}

}  // namespace quellmark
