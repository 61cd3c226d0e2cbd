// Between Qt's strings and the core's: the core keeps UTF-8 bytes in std::string and paths in
// std::filesystem::path, which on Linux are the same bytes.
#pragma once

#include <QString>

#include <filesystem>
#include <string>

namespace quellmark {

inline std::string ToUtf8(const QString& text) { return text.toStdString(); }
inline QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }
inline std::filesystem::path ToPath(const QString& path) { return std::filesystem::path(path.toStdString()); }
inline QString FromPath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

}  // namespace quellmark
