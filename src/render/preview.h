// A drawing's preview from its file or its bytes: read as a conversion reads it (failing where
// the conversion fails, with the same problem), marked first when it is to be seen as
// converted, and built into a display list. What the CLI's preview and a window's pane call.
#pragma once

#include "../convert/problem.h"
#include "../drawing/recognise.h"
#include "../platform/files.h"
#include "build.h"
#include "display_list.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace quellmark::render {

struct PreviewRequest {
    bool converted = false;          // the drawing as the conversion writes it: every dimension marked
    bool dropTrailingBytes = false;  // bytes after the end are left out instead of failing, as convert's option
    RenderLimits limits;
};

struct Preview {
    DisplayList list;
    DrawingFormat format = DrawingFormat::None;
    std::int32_t version = 0;
    bool convertible = true;  // the file's name is one convert takes (.jww, .jws) for its format
    bool converted = false;
};

// What a preview holds in memory (its vectors' capacities and the texts' bytes), near enough to
// bound the pictures a window keeps.
std::size_t HeldBytes(const Preview& preview);

// Reads the drawing at `path` (either format, told by its signature) and builds its preview.
// False with the problem when it is no drawing, cannot be read, is damaged, has bytes after its
// end (unless asked to drop them) or makes too much to draw; `out` then holds no picture.
bool BuildPreview(FileSystem& fs, const std::filesystem::path& path, const PreviewRequest& request, Preview& out,
                  Problem& problem);

// The same for a drawing's bytes, already read whole.
bool BuildPreviewOfBytes(std::span<const std::uint8_t> bytes, DrawingFormat format, bool convertible,
                         const PreviewRequest& request, Preview& out, Problem& problem);

}  // namespace quellmark::render
