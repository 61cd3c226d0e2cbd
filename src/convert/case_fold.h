// Letter case as the file systems that fold it see names: one letter for each class of letters
// that some such file system takes for one (a and A, ạ and Ạ, ⅰ and Ⅰ, ⓐ and Ⓐ, ǆ, ǅ and Ǆ),
// from a table made from the Unicode data by scripts/case-fold-table.
#pragma once

#include <string>
#include <string_view>

namespace quellmark {

// The letter that stands for the letter's class (its upper case, mostly); the letter itself
// where no file system folds it.
char32_t FoldedLetter(char32_t c);

// Appends the UTF-8 text with each letter folded; bytes that are no well-formed UTF-8 are
// appended as they are.
void AppendFolded(std::string& out, std::string_view text);
std::string Folded(std::string_view text);

}  // namespace quellmark
