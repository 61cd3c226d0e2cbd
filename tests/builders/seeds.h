// The seed drawings of the fuzz targets, also walked by the copy-through differential test.
#pragma once

#include "builder.h"

#include <string>
#include <vector>

namespace qmtest {

struct Seed {
    std::string name;
    Bytes bytes;
};

std::vector<Seed> JwwSeeds();
std::vector<Seed> JwsSeeds();

}  // namespace qmtest
