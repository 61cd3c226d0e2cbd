// The rules behind the file list's cells and its header-click sort, free of any widget: the
// name pattern of a file type, the width and padding of the size column, and the row exchanges
// of a sort.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quellmark {

// ASCII letters to upper case, every other byte as it is: safe on UTF-8 file names and texts.
std::string AsciiUpper(std::string_view text);

// The name's extension from its last "." on, upper-cased; empty when it has none.
std::string UpperExtensionOf(std::string_view name);

// "*.jw?", "*.jww" or "*.jws" for file types 1 to 3; "*.*" for any other.
const char* FilePattern(int fileType);

// How many characters the size column pads to: the column's width in characters of charWidth
// pixels (at least 3 pixels each), and never fewer than 3 characters.
int SizeFieldWidth(int columnWidth, int charWidth);

// The number right-justified with leading spaces to width characters (a longer one in full).
std::string RightJustify(std::int64_t value, int width);

// The integer a size cell holds: leading blanks skipped, then optional sign and digits up to the
// end; anything else, or a value beyond 64 bits, reads as 0.
std::int64_t ParseSizeCell(std::string_view text);

// The exchanges (r, s) of a header-click sort over the keys of rows 1..n (keys[0] is row 1):
// for each row r from the top, the row holding the smallest key below it (largest when
// descending) changes place with r. Keys compare byte by byte.
std::vector<std::pair<int, int>> HeaderSortExchanges(std::vector<std::string> keys, bool descending);

}  // namespace quellmark
