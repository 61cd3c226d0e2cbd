// The system helpers on POSIX systems.
#include "system.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>

#include <sys/stat.h>
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

namespace {

// An absolute folder named by the environment, or empty: a relative one would depend on where
// the program was started.
fs::path FolderFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value == '/' ? fs::path(value) : fs::path();
}

}  // namespace

fs::path UserSettingsFolder() {
    if (const fs::path config = FolderFromEnvironment("XDG_CONFIG_HOME"); !config.empty()) return config / "Quellmark";
    if (const fs::path home = UserHomeFolder(); !home.empty()) return home / ".config" / "Quellmark";
    return {};
}

fs::path UserScratchFolder() {
    // The session's own folder, which its user alone owns; one inherited from another user's
    // session (su without a login) is not this user's to write.
    const fs::path runtime = FolderFromEnvironment("XDG_RUNTIME_DIR");
    struct stat facts {};
    if (runtime.empty() || ::stat(runtime.c_str(), &facts) != 0 || !S_ISDIR(facts.st_mode) ||
        facts.st_uid != ::geteuid()) {
        return {};
    }
    return runtime / "Quellmark";
}

fs::path UserHomeFolder() { return FolderFromEnvironment("HOME"); }

bool PackagesOwnFolder(const fs::path& folder) {
    const fs::path normal = folder.lexically_normal();
    if (!normal.is_absolute()) return false;
    const auto first = std::next(normal.begin());
    if (first == normal.end()) return false;
    const std::string top = first->string();
    for (const char* owned : {"usr", "bin", "sbin", "lib", "lib32", "lib64", "libx32", "opt"}) {
        if (top == owned) return true;
    }
    return false;
}

}  // namespace quellmark
