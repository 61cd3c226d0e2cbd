// A look at one drawing without converting it: its format, version, memo, what it holds and how
// many of its dimensions already carry the dimension attributes. Used by `quellmark-cli info`.
#pragma once

#include "../drawing/dimensions.h"
#include "../drawing/edits.h"
#include "../drawing/error.h"
#include "../drawing/recognise.h"
#include "../platform/files.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quellmark {

struct DrawingInfo {
    DrawingFormat format = DrawingFormat::None;
    std::int32_t version = 0;
    std::string memo;                               // Shift-JIS bytes; JWS drawings have none
    std::array<std::int64_t, 8> entitiesByClass{};  // top level, by class number 1..7
    std::int64_t entityCount = 0;                   // top level
    DimensionTally dimensions;                      // top level and blocks; marked = already marked
    struct Block {
        std::string name;
        std::int64_t members = 0;
    };
    std::vector<Block> blocks;
    struct Image {
        std::string name;
        std::int32_t size = 0;
        bool referenced = false;
    };
    std::vector<Image> images;
    // What a conversion would change: the dimensions it would mark, and its normalisations (the
    // bytes after the end, told apart, not among them).
    std::int64_t toMark = 0;
    ChangeTally changes;
    std::uint64_t end = 0;            // where the drawing ends
    std::uint64_t trailingBytes = 0;  // bytes after that: a conversion fails for them unless asked
};

// Reads the drawing (whatever its extension) and describes it; false with the reason when it
// is no drawing or cannot be read. A file that is no drawing is not read past its first bytes.
bool InspectDrawing(FileSystem& fs, const std::filesystem::path& path, DrawingInfo& info, Failure* failure);

}  // namespace quellmark
