// The block definition list that follows the entity list in both formats: named collections of
// member entities.
#pragma once

#include "entities.h"

#include <vector>

namespace quellmark {

// Reads the list into blocks and returns the number of block definitions read.
std::int32_t ReadBlockDefinitionList(StreamReader& stream, std::vector<TEntBlockDef>& blocks);

// The scanning pass over the list (scan.h), as ReadBlockDefinitionList reads it.
std::int32_t ScanBlockDefinitionList(StreamScanner& stream);

void WriteBlockDefinitionList(StreamWriter& stream, const std::vector<TEntBlockDef>& blocks);

}  // namespace quellmark
