// The system helpers on POSIX systems.
#include "system.h"

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

}  // namespace quellmark
