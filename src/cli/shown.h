// File names shown safely. A name on Linux is any bytes but "/" and NUL: it may hold a line
// break that would split a per-file line, or bytes that are no UTF-8, which a terminal garbles
// and JSON cannot hold.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace quellmark::cli {

// For text output: control bytes and bytes that are no UTF-8 become "\xNN".
std::string Shown(std::string_view bytes);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view bytes);

// Lower-case hex of the bytes.
std::string Hex(std::string_view bytes);

// One JSON Lines record; bytes that are no UTF-8 come out as U+FFFD.
std::string JsonLine(const nlohmann::json& record);

}  // namespace quellmark::cli
