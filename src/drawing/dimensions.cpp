// Dimension-attribute marking and counting.
#include "dimensions.h"

namespace quellmark {

namespace {

// Calls visit(flagsWord, bit) for every flags word of the dimension that the version marks.
template <typename Sunpo, typename Visit>
void ForEachMarkedWord(Sunpo& d, std::int32_t version, Visit visit) {
    visit(d.Base.Flags, kDimensionBit);
    visit(d.Line.Base.Flags, kDimensionBit);
    visit(d.Text.Base.Flags, kDimensionTextBit);
    if (version < kVersionFullDimension) return;
    visit(d.Aux1.Base.Flags, kDimensionBit);
    visit(d.Aux2.Base.Flags, kDimensionBit);
    for (auto& point : d.Points) visit(point.Base.Flags, kDimensionPointBit);
}

template <typename Collection, typename Blocks, typename PerDimension>
void ForEachDimension(Collection& top, Blocks& blocks, PerDimension per) {
    for (auto& d : top.Sunpo) per(d);
    for (auto& def : blocks) {
        for (auto& d : def.Members.Sunpo) per(d);
    }
}

}  // namespace

DimensionTally AddDimensionAttributes(TEntityCollection& top, std::vector<TEntBlockDef>& blocks,
                                      std::int32_t version) {
    DimensionTally tally;
    ForEachDimension(top, blocks, [&](TEntSunpo& d) {
        bool changed = false;
        ForEachMarkedWord(d, version, [&](std::uint16_t& flags, std::uint16_t bit) {
            changed |= (flags & bit) == 0;
            flags = static_cast<std::uint16_t>(flags | bit);
        });
        ++tally.dimensions;
        if (changed) ++tally.marked;
    });
    return tally;
}

DimensionTally CountDimensions(const TEntityCollection& top, const std::vector<TEntBlockDef>& blocks,
                               std::int32_t version) {
    DimensionTally tally;
    ForEachDimension(top, blocks, [&](const TEntSunpo& d) {
        bool all = true;
        ForEachMarkedWord(d, version, [&](const std::uint16_t& flags, std::uint16_t bit) {
            all &= (flags & bit) != 0;
        });
        ++tally.dimensions;
        if (all) ++tally.marked;
    });
    return tally;
}

}  // namespace quellmark
