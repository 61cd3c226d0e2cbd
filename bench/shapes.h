// The drawing shapes the benchmarks measure: many small entities, long Shift-JIS texts, large
// embedded images, and a mix like the drawings users keep.
#pragma once

#include "builder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <random>
#include <variant>
#include <vector>

namespace qmbench {

// About `megabytes` of lines, points, arcs and dimensions (version 600).
inline qmtest::JwwPlan ManyEntities(double megabytes, std::uint64_t seed = 1) {
    qmtest::RandomDrawing random(seed);
    qmtest::JwwPlan plan;
    plan.version = 600;
    plan.memo = "many entities";
    const auto target = static_cast<std::size_t>(megabytes * 1e6);
    std::size_t bytes = 15000;
    const int classes[] = {1, 1, 1, 1, 3, 3, 2, 5};  // mostly lines and points, some arcs and dimensions
    for (std::size_t i = 0; bytes < target; ++i) {
        const int c = classes[i % 8];
        plan.entities.push_back(random.entity(c));
        bytes += c == 5 ? 520 : c == 2 ? 77 : c == 3 ? 37 : 49;
    }
    return plan;
}

// Texts of a few hundred bytes of Shift-JIS each.
inline qmtest::JwwPlan TextHeavy(double megabytes, std::uint64_t seed = 2) {
    qmtest::RandomDrawing random(seed);
    qmtest::JwwPlan plan;
    plan.version = 600;
    const auto target = static_cast<std::size_t>(megabytes * 1e6);
    std::size_t bytes = 15000;
    while (bytes < target) {
        qmtest::Text t = std::get<qmtest::Text>(random.entity(4));
        t.text = random.cleanText(600);
        bytes += 100 + t.text.size() + t.font.size();
        plan.entities.push_back(std::move(t));
    }
    return plan;
}

// A version-700 drawing whose images take most of its bytes, each referred to by a text.
inline qmtest::JwwPlan ImageHeavy(double megabytes, int images = 8, std::uint64_t seed = 3) {
    qmtest::RandomDrawing random(seed);
    qmtest::JwwPlan plan;
    plan.version = 700;
    plan.entities = random.entities(2000);
    const auto each = static_cast<std::int32_t>(megabytes * 1e6 / images);
    for (int i = 0; i < images; ++i) {
        const std::string name = "IMAGE" + std::to_string(i) + ".BMP";
        plan.images.push_back(qmtest::Image{name, each, {}});
        qmtest::Text t;
        t.text = "^@BM%temp%" + name + ",100,100";
        plan.entities.push_back(t);
    }
    return plan;
}

// The entity classes of drawings as users have them, in the order they come: of every 100
// entities 40 lines, 10 arcs, 10 points, 15 texts, 9 dimensions, 6 solids and 10 block inserts,
// spread through the list.
inline int MixedClass(std::size_t i) {
    static const auto slots = [] {
        static constexpr int kShare[7] = {40, 10, 10, 15, 9, 6, 10};
        std::array<int, 100> s{};
        for (int c = 0, at = 0; c < 7; ++c) {
            for (int n = 0; n < kShare[c]; ++n) s[static_cast<std::size_t>(at++)] = c + 1;
        }
        return s;
    }();
    return slots[(i * 37) % 100];
}

// About how many bytes an entity of the class takes in the archive at the version (below 420
// dimensions are the short ones).
inline std::size_t MixedEntityBytes(int classNo, std::int32_t version) {
    static constexpr std::size_t kBytes[7] = {49, 77, 37, 130, 520, 81, 61};
    return classNo == 5 && version < 420 ? 150 : kBytes[classNo - 1];
}

inline std::vector<qmtest::Entity> MixedEntities(std::size_t count, std::uint64_t seed) {
    qmtest::RandomDrawing random(seed);
    std::vector<qmtest::Entity> entities;
    entities.reserve(count);
    for (std::size_t i = 0; i < count; ++i) entities.push_back(random.entity(MixedClass(i)));
    return entities;
}

// Drawings as users have them: every class, texts of a few dozen bytes, block definitions and
// their inserts, dimensions about 9% of the entities, at the given version (below 420 the
// dimensions are the short ones), about `megabytes` large. Class tags come as a writer makes them.
inline qmtest::JwwPlan Mixed(double megabytes, std::int32_t version, std::uint64_t seed = 4) {
    qmtest::RandomDrawing random(seed);
    qmtest::JwwPlan plan;
    plan.version = version;
    plan.memo = "mixed";
    const int blocks = std::clamp(static_cast<int>(megabytes * 5), 2, 20);  // small drawings have few
    for (int b = 1; b <= blocks; ++b) plan.blocks.push_back(random.block(b, 30));
    const auto target = static_cast<std::size_t>(megabytes * 1e6);
    std::size_t bytes = 15000 + static_cast<std::size_t>(blocks) * 30 * 90;
    for (std::size_t i = 0; bytes < target; ++i) {
        const int c = MixedClass(i);
        plan.entities.push_back(random.entity(c));
        bytes += MixedEntityBytes(c, version);
    }
    return plan;
}

// Every dimension of the list carries the attributes a conversion sets: a drawing converted before.
inline void MarkDimensions(std::vector<qmtest::Entity>& entities) {
    for (qmtest::Entity& e : entities) {
        if (auto* d = std::get_if<qmtest::Dimension>(&e)) {
            d->a.flags |= 0x2000;
            d->line.a.flags |= 0x2000;
            d->text.a.flags |= 0x4000;
            d->aux1.a.flags |= 0x2000;
            d->aux2.a.flags |= 0x2000;
            for (qmtest::Point& p : d->points) p.a.flags |= 0x0040;
        }
    }
}

// What users' drawings hold that the writers normalise, given to a plan as often as `share` (0
// to 1) says: texts with line breaks and control bytes, a short text whose length takes the long
// form, long texts, and (from version 700) an image no text refers to. With a share of 1 the
// first text has every one of them. BuildUserShaped adds the header values the writers reset.
inline void UserShape(qmtest::JwwPlan& plan, double share, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const auto chance = [&](double p) { return static_cast<double>(rng() % 10000) < p * 10000; };
    bool first = share >= 1.0;
    for (qmtest::Entity& e : plan.entities) {
        auto* t = std::get_if<qmtest::Text>(&e);
        if (t == nullptr) continue;
        if (first || chance(share / 40)) t->text += "\r\nsecond line";
        if (first || chance(share / 80)) t->text.insert(0, 1, '\t');
        if (first || chance(share / 80)) t->longLength = true;
        if (chance(share / 40)) t->text += std::string(300, 'w');
        first = false;
    }
    if (plan.version >= 700 && chance(share)) {
        plan.images.push_back(qmtest::Image{"UNUSED.BMP", 3000, {}});
    }
}

// The plan built, with two reserved header values set that the writers write as 0 (as the
// drawings of some programs carry them).
inline qmtest::Bytes BuildUserShaped(const qmtest::JwwPlan& plan) {
    qmtest::JwwLayout layout;
    qmtest::Bytes bytes = qmtest::BuildJww(plan, &layout);
    qmtest::PatchI32(bytes, layout.block[6] + 8, 0x2A);
    qmtest::PatchI32(bytes, layout.block[6] + 40, 0x0100);
    return bytes;
}

}  // namespace qmbench
