// JWS drawings: a fixed 452-byte header followed by the same entity list and block definition
// list as a JWW drawing, and no images. The document, the signature check, reader and writer.
#pragma once

#include "../drawing/drawing_file.h"
#include "../drawing/error.h"
#include "../drawing/recognise.h"
#include "../platform/files.h"
#include "../drawing/jwtype.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace quellmark {

inline constexpr std::size_t kJwsHeaderSize = 452;

struct TJwsHeader {
    std::string Signature;  // the first 7 bytes, as read
    std::int32_t Version = 0;
    std::array<double, 2> LeadReals{};
    std::array<std::int32_t, 6> SettingInts{};
    std::array<double, 10> SettingReals{};
    std::int32_t EntityCount = 0;
    std::int32_t BlockDefCount = 0;
};

struct JwsDocument {
    TJwsHeader Header;
    std::vector<TLayerGroup> JwsLayerGroups;  // 16 after a read; only the scales are in the file
    TEntityCollection Entities;
    std::vector<TEntBlockDef> BlockDefs;
    // Bytes after the end of the drawing as read: not part of it, never written.
    std::uint64_t TrailingBytes = 0;
};

void ClearJwsDocument(JwsDocument& doc);
void FreeJwsDocument(JwsDocument& doc);

[[nodiscard]] bool IsJwsFile(FileSystem& fs, const std::filesystem::path& path);

// Reads the whole drawing; on failure returns false with the reason and offset in failure.
[[nodiscard]] bool ReadJwsFile(JwsDocument& doc, FileSystem& fs, const std::filesystem::path& path,
                               Failure* failure = nullptr);
[[nodiscard]] bool ReadJwsBytes(JwsDocument& doc, std::span<const std::uint8_t> bytes, Failure* failure = nullptr);

// The scanning pass of copy-through over the drawing's bytes (drawing/scan.h): every check of
// ReadJwsBytes, no document; false with the same failure where reading fails.
struct DrawingScan;
[[nodiscard]] bool ScanJwsBytes(std::span<const std::uint8_t> bytes, DrawingScan& scan, Failure* failure = nullptr);

// The version a JWS drawing read at `version` is written with: 230 at the least, and 351 for 300.
std::int32_t AdjustJwsVersion(std::int32_t version);

void WriteJwsHeader(ByteWriter& out, const JwsDocument& doc, std::int32_t version);
void WriteJwsEntityStream(ByteWriter& out, const JwsDocument& doc, std::int32_t version);
// The whole drawing at the adjusted version; throws DrawingError.
void WriteJwsStream(ByteWriter& out, const JwsDocument& doc, std::int32_t version);
// Writes with the version adjusted; on failure nothing is left at path.
[[nodiscard]] bool WriteJwsFile(const JwsDocument& doc, FileSystem& fs, const std::filesystem::path& path,
                                std::int32_t version, Failure* failure = nullptr, const WriteSettings& settings = {});

struct DimensionTally;
DimensionTally AddDimensionAttributes(JwsDocument& doc, std::int32_t version);

}  // namespace quellmark
