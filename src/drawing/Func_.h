// Small routines on byte strings and fixed character fields shared by the file list, the
// settings file and the drawing writers. Text is Shift-JIS bytes throughout; nothing here
// converts encodings.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quellmark {

// A Shift-JIS lead byte as the text filters see it: the byte after it belongs to it.
constexpr bool IsSjisLeadByte(unsigned char b) { return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD); }

// Copies the first |n| bytes of source (at most all of it) into dest[0..]; nothing else of dest
// changes. Throws std::out_of_range when they would not fit.
void CopyToCharArray(std::span<char> dest, std::string_view source, std::int32_t n);

// Sets dest[0..n-1] to value (nothing when n <= 0). Throws std::out_of_range past the end.
void FillCharArray(std::span<char> dest, unsigned char value, std::int32_t n);

// The whole text as a decimal or hexadecimal ("$", "x", "0x") 32-bit integer, or 0 when it is
// not one.
std::int32_t StrToIntDef0(std::string_view text);

// For display: drops control bytes, keeps double-byte characters whole.
std::string SanitizeSjis(std::string_view text);

// For drawing text about to be written: as SanitizeSjis, and also drops "^m"; a non-empty text
// from which nothing is left becomes " ".
std::string SanitizeSjisText(std::string_view text);

// True when SanitizeSjisText would return the text unchanged, so writers can skip the copy.
bool IsCleanSjisText(std::string_view text);

// Shift-JIS-aware upper-casing: ASCII a-z become A-Z, the byte after a lead byte is never touched.
std::string UpperSjis(std::string_view text);

}  // namespace quellmark
