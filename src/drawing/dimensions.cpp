// Dimension-attribute marking and counting.
#include "dimensions.h"

namespace quellmark {

namespace {

// Calls visit(flagsWord, bit) for every flags word of the dimension that the version marks; from
// version 420 on that includes the second half, when there is one.
template <typename Sunpo, typename Ext, typename Visit>
void ForEachMarkedWord(Sunpo& d, Ext* ext, std::int32_t version, Visit visit) {
    visit(d.Base.Flags, kDimensionBit);
    visit(d.Line.Base.Flags, kDimensionBit);
    visit(d.Text.Base.Flags, kDimensionTextBit);
    if (version < kVersionFullDimension || ext == nullptr) return;
    visit(ext->Aux1.Base.Flags, kDimensionBit);
    visit(ext->Aux2.Base.Flags, kDimensionBit);
    for (auto& point : ext->Points) visit(point.Base.Flags, kDimensionPointBit);
}

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
            while (c.SunpoExt.size() < c.Sunpo.size()) c.SunpoExt.push_back(DefaultSunpoExt(c.Sunpo[c.SunpoExt.size()]));
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

DimensionTally CountDimensions(const TEntityCollection& top, const std::vector<TEntBlockDef>& blocks,
                               std::int32_t version) {
    DimensionTally tally;
    ForEachCollection(top, blocks, [&](const TEntityCollection& c) {
        for (std::size_t i = 0; i < c.Sunpo.size(); ++i) {
            const TEntSunpoExt* ext = i < c.SunpoExt.size() ? &c.SunpoExt[i] : nullptr;
            TEntSunpoExt standIn;
            if (ext == nullptr && version >= kVersionFullDimension) {
                standIn = DefaultSunpoExt(c.Sunpo[i]);
                ext = &standIn;
            }
            bool all = true;
            ForEachMarkedWord(c.Sunpo[i], ext, version, [&](const std::uint16_t& flags, std::uint16_t bit) {
                all &= (flags & bit) != 0;
            });
            ++tally.dimensions;
            if (all) ++tally.marked;
        }
    });
    return tally;
}

}  // namespace quellmark
