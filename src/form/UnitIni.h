// The private-profile settings file: "[Section]" lines followed by "KEY=value" lines, read and
// written key by key with the rules of the Windows profile functions, through the file system
// it is given. Text is UTF-8 on Linux; capacities count bytes.
#pragma once

#include "../platform/files.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace quellmark {

// Looks the key up in the section (both without regard to letter case, blanks around them
// ignored) and puts its value, without surrounding blanks, into value: at most capacity - 1
// bytes, cut at a character boundary when it is longer. value is always assigned, empty when
// the file, the section or the key is missing. True when the value is not empty.
bool ReadIniString(FileSystem& fs, std::string_view section, std::string_view key, std::string& value,
                   std::size_t capacity, const std::filesystem::path& path);

// Sets the key of the section to value: the file, the section and the key are created when
// missing, an existing key is replaced on its own line and every other line stays as it was,
// an empty value is written as "KEY=". False when the file cannot be written, or when a name
// or the value would break the file's lines (a line break, "=" in a key, "]" in a section).
bool WriteIniString(FileSystem& fs, std::string_view section, std::string_view key, std::string_view value,
                    const std::filesystem::path& path);

}  // namespace quellmark
