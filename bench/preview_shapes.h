// The drawings the preview benchmarks select: each shape of bench/shapes.h just under 1 MB (the
// size below which a selection is to show its preview within 100 ms), as JWW and, for the mix,
// as JWS, written to a folder of their own. The shapes' random values are mostly no numbers a
// drawing could hold (the converter copies them, the preview leaves them out), so each entity is
// put in a 100 mm cell of a plan first, its class, pens, texts and blocks kept.
#pragma once

#include "shapes.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace qmbench {

inline constexpr double kPreviewMegabytes = 0.95;

struct PreviewDrawing {
    std::string name;  // the shape, and the file's name in the folder
    std::filesystem::path file;
    std::uintmax_t bytes = 0;
};

// The entity's geometry moved into cell `i` of a plan 250 cells wide, at sizes a plan has; an
// insert refers to one of `blocks` definitions (it stays one of none where there are none).
inline void PlaceInCell(qmtest::Entity& entity, std::size_t i, int blocks) {
    const double x = static_cast<double>(i % 250) * 100.0;
    const double y = static_cast<double>(i / 250) * 100.0;
    const double wobble = static_cast<double>(i % 7) * 10.0;
    const auto segment = [&](qmtest::Line& l, double x1, double y1, double x2, double y2) {
        l.x1 = x1;
        l.y1 = y1;
        l.x2 = x2;
        l.y2 = y2;
    };
    const auto text = [&](qmtest::Text& t, double at, double height) {
        t.corners = {x, at, x + 60, at};
        t.size = {height, height, 0.5, 0};
    };
    std::visit(
        [&](auto& e) {
            using T = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<T, qmtest::Line>) {
                segment(e, x, y, x + 90, y + wobble);
            } else if constexpr (std::is_same_v<T, qmtest::Arc>) {
                e.v = {x + 50, y + 50, 40, 0.3, e.fullCircle ? 6.283185307179586 : 2.0, 0, i % 3 ? 1.0 : 0.6};
            } else if constexpr (std::is_same_v<T, qmtest::Point>) {
                e.x = x + wobble;
                e.y = y + 10;
                e.angle = 0;
                e.scale = 1;
            } else if constexpr (std::is_same_v<T, qmtest::Text>) {
                text(e, y, 4);
            } else if constexpr (std::is_same_v<T, qmtest::Dimension>) {
                segment(e.line, x, y - 20, x + 100, y - 20);
                text(e.text, y - 18, 3);
                segment(e.aux1, x, y - 25, x, y);
                segment(e.aux2, x + 100, y - 25, x + 100, y);
                for (std::size_t k = 0; k < 4; ++k) {
                    e.points[k].x = x + static_cast<double>(k % 2) * 100;
                    e.points[k].y = y - 20;
                    e.points[k].angle = 0;
                    e.points[k].scale = 1;
                }
            } else if constexpr (std::is_same_v<T, qmtest::Solid>) {
                e.corners = {x, y, x + 20, y, x + 20, y + 20, x, y + 20};
            } else {
                e.v = {x + 50, y + 50, 1, 1, static_cast<double>(i % 4) * 0.5};
                if (blocks > 0) e.def = 1 + static_cast<std::int32_t>(i % static_cast<std::size_t>(blocks));
            }
        },
        entity);
}

// The plan drawable: every entity and block member in a cell, the header's values zero.
inline qmtest::JwwPlan Drawable(qmtest::JwwPlan plan) {
    plan.fill = qmtest::Fill::Zero;
    const int blocks = static_cast<int>(plan.blocks.size());
    for (std::size_t i = 0; i < plan.entities.size(); ++i) PlaceInCell(plan.entities[i], i, blocks);
    for (qmtest::BlockDef& def : plan.blocks) {
        for (std::size_t i = 0; i < def.members.size(); ++i) PlaceInCell(def.members[i], i % 4, 0);
    }
    return plan;
}

inline qmtest::Bytes PreviewDrawingBytes(const std::string& name) {
    if (name == "entities.jww") return qmtest::BuildJww(Drawable(ManyEntities(kPreviewMegabytes)));
    if (name == "texts.jww") return qmtest::BuildJww(Drawable(TextHeavy(kPreviewMegabytes)));
    // Images of 0.7 MB and 2,000 entities make about 0.95 MB.
    if (name == "images.jww") return qmtest::BuildJww(Drawable(ImageHeavy(0.7)));
    const qmtest::JwwPlan mixed = Drawable(Mixed(kPreviewMegabytes, 600));
    if (name == "mixed.jww") return BuildUserShaped(mixed);
    qmtest::JwsPlan jws;
    jws.version = 600;
    jws.fill = qmtest::Fill::Zero;
    jws.entities = mixed.entities;
    jws.blocks = mixed.blocks;
    return qmtest::BuildJws(jws);
}

// Writes the drawings into `folder` (made if need be) the first time they are asked for.
inline std::vector<PreviewDrawing> PreviewDrawings(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::vector<PreviewDrawing> drawings;
    for (const char* name : {"entities.jww", "texts.jww", "mixed.jww", "images.jww", "mixed.jws"}) {
        PreviewDrawing d{name, folder / name, 0};
        if (!std::filesystem::exists(d.file)) {
            const qmtest::Bytes bytes = PreviewDrawingBytes(name);
            std::ofstream out(d.file, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (!out) throw std::runtime_error("cannot write " + d.file.string());
        }
        d.bytes = std::filesystem::file_size(d.file);
        drawings.push_back(std::move(d));
    }
    return drawings;
}

}  // namespace qmbench
