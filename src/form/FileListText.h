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

// Whether a file named a comes before one named b in a listing: name order as the drawings' own
// platform enumerates a folder, ASCII letters without regard to case, other bytes by value, and
// names that differ only in case by their exact bytes.
bool ListsBefore(std::string_view a, std::string_view b);

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
// descending) changes place with r; of equal keys the topmost is taken. Keys compare byte by byte.
// O(n log n): each row's pick comes from a tree of the rows below it.
std::vector<std::pair<int, int>> HeaderSortExchanges(std::vector<std::string> keys, bool descending);

}  // namespace quellmark
