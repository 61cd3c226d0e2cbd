// Where the window keeps its settings file and its temp folder for embedded images.
#pragma once

#include <QString>

namespace quellmark {

// appDir + "Quellmark.ini" when that folder is writable or the file is already there, otherwise
// Quellmark.ini in the per-user config folder (which is created).
QString SettingsFilePath(const QString& appDir);

// Where a batch makes its temp folder: appDir + "TEMP/" when it exists or can be made there,
// otherwise the system temp folder. Always ends with "/".
QString PrepareTempFolder(const QString& appDir);

// The folder with a trailing "/".
QString WithTrailingSlash(const QString& folder);

}  // namespace quellmark
