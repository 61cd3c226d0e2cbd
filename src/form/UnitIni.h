// The private-profile settings file: "[Section]" lines followed by "KEY=value" lines, read and
// written key by key with the rules of the Windows profile functions, through the file system
// it is given. Values are the file's bytes as they are (IniTextOf tells in which form); capacities
// count bytes.
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

// The form a settings file's text is in. The system's profile functions write the system code
// page (UTF-8 on Linux, 932 on a Japanese Windows); Notepad saves UTF-8, with a byte order mark
// or, since Windows 10 1903, without one.
enum class IniText { SystemCodePage, Utf8 };

// UTF-8 when the file starts with a byte order mark, or when it holds bytes beyond ASCII and all
// of them make well-formed UTF-8: Shift-JIS text is almost never that, as its hiragana, katakana
// and most kanji start with a byte from 0x81 to 0x9F, which never starts a UTF-8 character. The
// system code page otherwise: a file of ASCII alone, one that is missing or cannot be read. A file
// is written back in the form it is in (its byte order mark kept), so it is never turned into
// the other form behind its editor's back.
IniText IniTextOf(FileSystem& fs, const std::filesystem::path& path);

// Sets the key of the section to value: the file, the section and the key are created when
// missing, an existing key is replaced on its own line and every other line stays as it was,
// an empty value is written as "KEY=". False when the file cannot be written, or when a name
// or the value would break the file's lines (a line break, "=" in a key, "]" in a section).
bool WriteIniString(FileSystem& fs, std::string_view section, std::string_view key, std::string_view value,
                    const std::filesystem::path& path);

}  // namespace quellmark
