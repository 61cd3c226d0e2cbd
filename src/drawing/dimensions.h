// The conversion itself: the dimension-attribute bits set on every dimension of a drawing, at
// top level and inside block definitions, for either format.
#pragma once

#include "jwtype.h"

#include <cstdint>
#include <vector>

namespace quellmark {

struct DimensionTally {
    std::int64_t dimensions = 0;  // dimension entities seen
    std::int64_t marked = 0;      // for AddDimensionAttributes: those whose flags changed;
                                  // for CountDimensions: those already carrying every bit
};

// Calls visit(flagsWord, bit) for every flags word of the dimension that the version marks, in
// the order the parts are stored; from version 420 on that includes the second half, when there
// is one.
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

// Whether every flags word of the dimension that the version marks carries its bit: the
// dimension is already marked, and a conversion changes nothing of it. An older dimension read
// without its second half is judged, from version 420 on, with the stand-in it would be written
// with.
bool DimensionFullyMarked(const TEntSunpo& dimension, const TEntSunpoExt* ext, std::int32_t version);

// Sets 0x2000 on each dimension, its line and (from version 420) its auxiliary lines, 0x4000 on
// its text and (from version 420) 0x0040 on its four points. Other bits stay as they are.
DimensionTally AddDimensionAttributes(TEntityCollection& top, std::vector<TEntBlockDef>& blocks,
                                      std::int32_t version);

// Counts dimensions and those that already carry every bit the version marks.
DimensionTally CountDimensions(const TEntityCollection& top, const std::vector<TEntBlockDef>& blocks,
                               std::int32_t version);

}  // namespace quellmark
