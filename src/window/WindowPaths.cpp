// Settings file and temp folder locations. The per-user temp folder lies in a folder every user
// can write to, so it is only used when it is a real folder of ours that nobody else can enter.
#include "WindowPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quellmark {

namespace {

constexpr const char* kSettingsName = "Quellmark.ini";

#ifndef _WIN32
bool IsPrivateFolderOfOurs(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}
#endif

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
#ifdef _WIN32
    // The system temp folder is the user's own there.
    const QString perUser = QDir::tempPath() + QStringLiteral("/quellmark");
    if (QDir().mkpath(perUser)) return perUser + QLatin1Char('/');
    return beside;
#else
    const QString perUser = QDir::tempPath() + QStringLiteral("/quellmark-") + QString::number(::getuid());
    const QByteArray encoded = QFile::encodeName(perUser);
    (void)::mkdir(encoded.constData(), 0700);
    if (IsPrivateFolderOfOurs(encoded)) return perUser + QLatin1Char('/');
    // Someone else holds that name: a fresh folder of our own instead.
    QByteArray pattern = QFile::encodeName(QDir::tempPath() + QStringLiteral("/quellmark-XXXXXX"));
    if (::mkdtemp(pattern.data())) return QFile::decodeName(pattern) + QLatin1Char('/');
    return beside;
#endif
}

}  // namespace quellmark
