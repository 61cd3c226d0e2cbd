// Folder texts as the Qt window shows them.
#pragma once

#include <QString>

namespace quellmark {

// The folder with a trailing "/".
QString WithTrailingSlash(const QString& folder);

}  // namespace quellmark
