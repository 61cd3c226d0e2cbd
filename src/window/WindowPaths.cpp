// Settings file and temp folder locations.
#include "WindowPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace quellmark {

namespace {

constexpr const char* kSettingsName = "Quellmark.ini";

}  // namespace

QString WithTrailingSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString SettingsFilePath(const QString& appDir) {
    const QString beside = appDir + QLatin1String(kSettingsName);
    const QFileInfo dir(appDir);
    if (QFileInfo::exists(beside) || (dir.isDir() && dir.isWritable())) return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return WithTrailingSlash(config) + QLatin1String(kSettingsName);
}

QString PrepareTempFolder(const QString& appDir) {
    const QString beside = appDir + QStringLiteral("TEMP/");
    QDir app(appDir);
    if (app.exists() && (app.mkdir(QStringLiteral("TEMP")) || QFileInfo(beside).isDir()) &&
        QFileInfo(beside).isWritable()) {
        return beside;
    }
    // Each batch makes a folder of its own in there that only this user may enter.
    return WithTrailingSlash(QDir::tempPath());
}

}  // namespace quellmark
