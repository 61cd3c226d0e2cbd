// The system helpers on POSIX systems.
#include "system.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <unistd.h>

namespace quellmark {

namespace fs = std::filesystem;

// Any name a folder can list can be given again.
std::string DeviceNameReason(const fs::path&) { return {}; }

fs::path ParentFolder(const fs::path& path) {
    if (!path.has_relative_path()) return {};
    return path.parent_path();
}

long ProcessId() { return static_cast<long>(::getpid()); }

std::string SettingsTextFromUtf8(std::string_view utf8) { return std::string(utf8); }
std::string Utf8FromSettingsText(std::string_view text) { return std::string(text); }

std::string LocalTimeText(std::int64_t secondsSince1970) {
    const std::time_t time = static_cast<std::time_t>(secondsSince1970);
    std::tm local{};
    if (!::localtime_r(&time, &local)) return {};
    char text[80];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

fs::path UserSettingsFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') return fs::path(config) / "Quellmark";
    if (const char* home = std::getenv("HOME"); home && *home == '/') return fs::path(home) / ".config" / "Quellmark";
    return {};
}

}  // namespace quellmark
