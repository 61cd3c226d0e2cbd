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

// Sets 0x2000 on each dimension, its line and (from version 420) its auxiliary lines, 0x4000 on
// its text and (from version 420) 0x0040 on its four points. Other bits stay as they are.
DimensionTally AddDimensionAttributes(TEntityCollection& top, std::vector<TEntBlockDef>& blocks,
                                      std::int32_t version);

// Counts dimensions and those that already carry every bit the version marks.
DimensionTally CountDimensions(const TEntityCollection& top, const std::vector<TEntBlockDef>& blocks,
                               std::int32_t version);

}  // namespace quellmark
