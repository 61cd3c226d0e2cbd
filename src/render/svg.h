// The SVG backend of the preview: a display list as one standalone SVG document in UTF-8,
// in paper millimetres, with the dimensions drawn in the colours of their marks and a legend.
#pragma once

#include "display_list.h"

#include <string>

namespace quellmark::render {

struct SvgOptions {
    std::string title;       // UTF-8; shown in the legend and as the document's title
    bool converted = false;  // the legend says the drawing is seen as converted
};

// Texts are decoded from Shift-JIS; anything that XML cannot hold is replaced.
std::string WriteSvg(const DisplayList& list, const SvgOptions& options);

// The text with &, <, >, " escaped and every character XML 1.0 does not allow replaced by U+FFFD.
std::string XmlText(std::string_view utf8);

// The font families texts are set in: Japanese Gothic faces, then any sans-serif.
inline constexpr const char* kFontFamilies =
    "'Noto Sans CJK JP', 'Noto Sans JP', 'IPAexGothic', 'IPAGothic', 'MS Gothic', 'Yu Gothic', "
    "'Hiragino Sans', sans-serif";

}  // namespace quellmark::render
