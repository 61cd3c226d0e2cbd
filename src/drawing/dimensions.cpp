// Dimension-attribute marking and counting.
#include "dimensions.h"

namespace quellmark {

namespace {

// Calls per(collection) for the top level and every block definition's members.
template <typename Collection, typename Blocks, typename PerCollection>
void ForEachCollection(Collection& top, Blocks& blocks, PerCollection per) {
    per(top);
    for (auto& def : blocks) per(def.Members);
}

}  // namespace

DimensionTally AddDimensionAttributes(TEntityCollection& top, std::vector<TEntBlockDef>& blocks,
                                      std::int32_t version) {
    DimensionTally tally;
    ForEachCollection(top, blocks, [&](TEntityCollection& c) {
        // Marked at version 420 or above, older dimensions get their stand-in second half first,
        // so that it carries the marks when written.
        if (version >= kVersionFullDimension) {
            while (c.SunpoExt.size() < c.Sunpo.size())
                c.SunpoExt.push_back(DefaultSunpoExt(c.Sunpo[c.SunpoExt.size()]));
        }
        for (std::size_t i = 0; i < c.Sunpo.size(); ++i) {
            TEntSunpoExt* ext = i < c.SunpoExt.size() ? &c.SunpoExt[i] : nullptr;
            bool changed = false;
            ForEachMarkedWord(c.Sunpo[i], ext, version, [&](std::uint16_t& flags, std::uint16_t bit) {
                changed |= (flags & bit) == 0;
                flags = static_cast<std::uint16_t>(flags | bit);
            });
            ++tally.dimensions;
            if (changed) ++tally.marked;
        }
    });
    return tally;
}

bool DimensionFullyMarked(const TEntSunpo& dimension, const TEntSunpoExt* ext, std::int32_t version) {
    TEntSunpoExt standIn;
    if (ext == nullptr && version >= kVersionFullDimension) {
        standIn = DefaultSunpoExt(dimension);
        ext = &standIn;
    }
    bool all = true;
    ForEachMarkedWord(dimension, ext, version,
                      [&](const std::uint16_t& flags, std::uint16_t bit) { all &= (flags & bit) != 0; });
    return all;
}

DimensionTally CountDimensions(const TEntityCollection& top, const std::vector<TEntBlockDef>& blocks,
                               std::int32_t version) {
    DimensionTally tally;
    ForEachCollection(top, blocks, [&](const TEntityCollection& c) {
        for (std::size_t i = 0; i < c.Sunpo.size(); ++i) {
            const TEntSunpoExt* ext = i < c.SunpoExt.size() ? &c.SunpoExt[i] : nullptr;
            ++tally.dimensions;
            if (DimensionFullyMarked(c.Sunpo[i], ext, version)) ++tally.marked;
        }
    });
    return tally;
}

}  // namespace quellmark
