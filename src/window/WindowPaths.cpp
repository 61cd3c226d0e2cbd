// Folder texts as the Qt window shows them.
#include "WindowPaths.h"

namespace quellmark {

QString WithTrailingSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

}  // namespace quellmark
