// The words the command line tells a drawing's changes with, beyond its marks: in its line, in
// `info`, and in JSON.
#pragma once

#include "../drawing/edits.h"

#include <nlohmann/json.hpp>

#include <string>

namespace quellmark::cli {

// "2 header values reset, 1 text cleaned, version raised"; empty when there are none.
std::string ChangesText(const ChangeTally& changes);

// {"header-value-reset": 2, "text-cleaned": 1, ...}: each kind that occurs, with its count.
nlohmann::json ChangesJson(const ChangeTally& changes);

}  // namespace quellmark::cli
