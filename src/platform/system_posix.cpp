// The system helpers on POSIX systems.
#include "system.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include <pwd.h>
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

namespace {

std::string FirstLineOf(const char* file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The start of a process in clock ticks since boot: the 22nd field of /proc/PID/stat, counted
// after the command name, which is in parentheses and may hold spaces and parentheses itself.
// 0 when the process is not there.
std::uint64_t StartOf(std::uint64_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) return std::strtoull(field.c_str(), nullptr, 10);
    }
    return 0;
}

}  // namespace

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

ProcessStamp ThisProcessStamp() {
    static const ProcessStamp stamp = [] {
        ProcessStamp s;
        s.pid = static_cast<std::uint64_t>(::getpid());
        s.started = StartOf(s.pid);
        // Processes in other pid name spaces (containers) on the same machine see other ids.
        struct stat ns {};
        const std::string space = ::stat("/proc/self/ns/pid", &ns) == 0 ? std::to_string(ns.st_ino) : "";
        const std::string boot = FirstLineOf("/proc/sys/kernel/random/boot_id");
        // Without a boot id, a process of this machine cannot be told from one of another.
        if (!boot.empty() && s.started != 0) s.machine = HostName() + "/" + boot + "/" + space;
        return s;
    }();
    return stamp;
}

Liveness ProcessLiveness(const ProcessStamp& stamp) {
    const ProcessStamp& self = ThisProcessStamp();
    if (self.machine.empty() || stamp.machine != self.machine) return Liveness::Unknown;
    return StartOf(stamp.pid) == stamp.started ? Liveness::Alive : Liveness::Dead;
}

std::uint32_t ThisUserId() { return static_cast<std::uint32_t>(::geteuid()); }

std::string UserName(std::uint32_t user) {
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(static_cast<uid_t>(user), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        return found->pw_name;
    }
    return std::to_string(user);
}

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
