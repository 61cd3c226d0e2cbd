// JWW drawings: the document, the signature check, header reading and writing, the whole-file
// reader and writer, and the memo probe of the file list.
#pragma once

#include "../drawing/drawing_file.h"
#include "../drawing/error.h"
#include "../drawing/recognise.h"
#include "../platform/files.h"
#include "../drawing/images.h"
#include "../drawing/jwtype.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace quellmark {

struct JwwDocument {
    THeader Header;
    std::vector<TLayerGroup> LayerGroups;  // 16 after a read
    std::vector<TLayer> Layers;            // 256: index = group x 16 + layer
    std::vector<TLineColorDef> LineColors;  // 10
    std::vector<TLineTypeDef> LineTypes;    // 8
    std::vector<TRandomLineDef> RandomLines;  // 5
    std::vector<TDoubleLineTypeDef> DoubleLineTypes;  // 4
    std::vector<TColorExNo> ColorsEx;        // 257
    std::vector<TLineTypeExNo> LineTypesEx;  // 33
    std::vector<TTextStyleDef> TextStyles;   // 10
    TEntityCollection Entities;
    std::vector<TEntBlockDef> BlockDefs;
    // Bytes after the end of the drawing as read: not part of it, never written.
    std::uint64_t TrailingBytes = 0;
};

// Header back to its reset values, every table and collection empty.
void ClearJwwDocument(JwwDocument& doc);
// Empties the block definitions' collections, then clears the document.
void FreeJwwDocument(JwwDocument& doc);

[[nodiscard]] bool IsJwwFile(FileSystem& fs, const std::filesystem::path& path);

// Reads a whole drawing: header, entity list, block definitions and, from version 700, the image
// section (image bytes go to the store's temp folder). Resets the document first. On failure
// returns false with the reason and offset in failure; temp files of this read are removed.
[[nodiscard]] bool ReadJwwFile(JwwDocument& doc, ImageStore& images, const std::filesystem::path& path,
                               Failure* failure = nullptr);
[[nodiscard]] bool ReadJwwBytes(JwwDocument& doc, ImageStore& images, std::span<const std::uint8_t> bytes,
                                Failure* failure = nullptr);

// The scanning pass of copy-through over the drawing's bytes (drawing/scan.h): every check of
// ReadJwwBytes, no document; false with the same failure where reading fails.
struct DrawingScan;
[[nodiscard]] bool ScanJwwBytes(std::span<const std::uint8_t> bytes, DrawingScan& scan, Failure* failure = nullptr);

// Header blocks 1 to 23 from the reader's position; throws DrawingError.
void ReadJwwHeader(ByteReader& in, JwwDocument& doc);
void WriteJwwHeader(ByteWriter& out, const JwwDocument& doc, std::int32_t version);
// Entity list, block definitions and, from version 700, the image section.
void WriteEntityStream(ByteWriter& out, const JwwDocument& doc, ImageStore& images,
                       std::int32_t version);

// Writes the drawing in the given version. On failure nothing is left at path.
[[nodiscard]] bool WriteJwwFile(const JwwDocument& doc, ImageStore& images, const std::filesystem::path& path,
                                std::int32_t version, Failure* failure = nullptr, const WriteSettings& settings = {});
// The whole drawing into a writer; throws DrawingError.
void WriteJwwStream(ByteWriter& out, const JwwDocument& doc, ImageStore& images,
                    std::int32_t version);

// Reads the header up to block 17 only and leaves the memo in the document's header.
[[nodiscard]] bool ReadJwwMemo(JwwDocument& doc, FileSystem& fs, const std::filesystem::path& path);
[[nodiscard]] bool ReadJwwMemoBytes(JwwDocument& doc, std::span<const std::uint8_t> bytes, Failure* failure = nullptr);

// The marking of a loaded JWW drawing.
struct DimensionTally;
DimensionTally AddDimensionAttributes(JwwDocument& doc, std::int32_t version);

}  // namespace quellmark
