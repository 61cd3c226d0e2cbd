// A folder path typed or pasted into one of the window's two folder fields: cleaned of what a
// copied path brings along, checked on the disk, and the reason it is refused, in Japanese.
#pragma once

#include "../platform/files.h"

#include <string>
#include <string_view>
#include <system_error>

namespace quellmark {

enum class TypedFolderProblem { None, NotAbsolute, Missing, NotFolder, CannotExamine, Unwritable };

struct TypedFolderCheck {
    std::string folder;  // the folder as the form keeps it: normalised, with a trailing separator
    TypedFolderProblem problem = TypedFolderProblem::None;
    std::error_code error;  // why it could not be examined
};

// The text without the blanks and line breaks around it and the double quotes that a path
// copied from a file manager ("Copy as path") carries.
std::string CleanTypedFolder(std::string_view typed);

// Checks a cleaned, non-empty text: an absolute path of a folder that is there; a destination
// must also be writable. A destination that does not exist yet is refused: the window never
// makes a folder from what was typed (a typo would leave a stray folder, and the picker can
// make one on purpose).
TypedFolderCheck CheckTypedFolder(FileSystem& files, const std::string& cleaned, bool destination);

// Why the folder is not taken, naming it as typed: "フォルダ「X」が見つかりません。" and the like.
std::string TypedFolderRefusalText(const TypedFolderCheck& check, const std::string& cleaned, bool destination);

}  // namespace quellmark
