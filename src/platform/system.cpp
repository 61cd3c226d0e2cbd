// The parts of the system helpers that are the same on every system.
#include "system.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace quellmark {

namespace fs = std::filesystem;

std::string PathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path PathFromText(std::string_view text) { return fs::path(std::u8string(text.begin(), text.end())); }

namespace {

// Conditions some C libraries (Windows' own among them) have no words for.
const char* PortableErrorText(std::error_code ec) {
    if (ec == std::errc::too_many_symbolic_link_levels) return "too many levels of symbolic links";
    if (ec == std::errc::operation_not_supported || ec == std::errc::not_supported) return "operation not supported";
    if (ec == std::errc::resource_unavailable_try_again) return "resource temporarily unavailable";
    if (ec == std::errc::function_not_supported) return "function not implemented";
    return nullptr;
}

}  // namespace

bool InUse(std::error_code ec) { return ec == std::errc::device_or_resource_busy || ec == std::errc::text_file_busy; }

std::string ErrorText(std::error_code ec) {
    if (InUse(ec)) return "the file is in use by another program";
    std::string text = ec.message();
    if (text.empty() || text.starts_with("Unknown error") || text.starts_with("unknown error")) {
        if (const char* portable = PortableErrorText(ec)) text = portable;
    }
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

int CoreCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

}  // namespace quellmark
