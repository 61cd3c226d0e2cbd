// From a read JWW or JWS document to its display list: every entity class broken into
// primitives in paper millimetres, block inserts expanded, each layer group's scale applied,
// hidden layers and groups left out. docs/rendering.md says how each entity is drawn.
#pragma once

#include "display_list.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quellmark {
struct JwwDocument;
struct JwsDocument;
struct TEntityCollection;
struct TEntBlockDef;
struct TColorExNo;
}  // namespace quellmark

namespace quellmark::render {

inline constexpr std::size_t kLayerGroups = 16;
inline constexpr std::size_t kLayersPerGroup = 16;

// What the builder needs of either document.
struct DrawingView {
    const TEntityCollection* entities = nullptr;
    const std::vector<TEntBlockDef>* blocks = nullptr;
    std::int32_t version = 0;
    std::array<double, kLayerGroups> groupScales{};  // drawing units per paper millimetre
    std::array<bool, kLayerGroups> groupShown{};
    std::array<bool, kLayerGroups * kLayersPerGroup> layerShown{};
    const std::vector<TColorExNo>* colorsEx = nullptr;
    PaperSize paper;
};

// A JWW drawing's view: its layer states (0 hides a layer or a group; a header whose states are
// all 0 recorded none, and shows everything), its scales, extended colours and paper size.
DrawingView ViewOf(const JwwDocument& doc);
// A JWS drawing's: every layer shown, its scales, A3 paper.
DrawingView ViewOf(const JwsDocument& doc);

struct RenderLimits {
    int blockDepth = 16;                   // inserts within inserts deeper than this are left out
    std::size_t primitives = 1'000'000;    // more fails the build
    std::size_t entityVisits = 4'000'000;  // entities visited, through every insert; more fails
};

struct RenderSettings {
    // Whether a conversion would take the drawing (its name says .jww or .jws): its unmarked
    // dimensions are then ToMark, else Unmarked.
    bool convertible = true;
    RenderLimits limits;
};

// Builds the display list into `out` (emptied first). False, with why and an empty list, when
// the drawing makes more to draw than the limits allow.
bool BuildDisplayList(const DrawingView& view, const RenderSettings& settings, DisplayList& out, std::string& why);

}  // namespace quellmark::render
