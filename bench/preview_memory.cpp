// The memory a preview takes, against the target of three times the drawing plus 32 MB: for
// each drawing of preview_shapes.h, a fresh process of this program builds its preview as the
// pane's worker does and tells the growth of its peak resident memory over the build (VmHWM
// less VmRSS before, from /proc/self/status) and the bytes the picture holds while kept.
//   preview-memory              all drawings, a table
//   preview-memory DRAWING      one drawing: "<peak growth bytes> <held bytes>"
#include "preview_shapes.h"

#include "render/preview.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace quellmark;

namespace {

// A value of /proc/self/status in bytes ("VmHWM:     1234 kB"); 0 where there is none.
std::uint64_t StatusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) != 0) continue;
        std::istringstream value(line.substr(key.size() + 1));
        std::uint64_t kilobytes = 0;
        value >> kilobytes;
        return kilobytes * 1024;
    }
    return 0;
}

int MeasureOne(const std::filesystem::path& file) {
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const std::uint64_t before = StatusBytes("VmRSS");
    render::Preview preview;
    Problem problem;
    if (!render::BuildPreview(RealFileSystem(), file, {}, preview, problem)) {
        std::cerr << file << ": no preview\n";
        return 1;
    }
    const std::uint64_t peak = StatusBytes("VmHWM");
    std::cout << (peak > before ? peak - before : 0) << ' ' << render::HeldBytes(preview) << '\n';
    return 0;
}

int MeasureAll(const char* self) {
    const auto drawings = qmbench::PreviewDrawings(std::filesystem::temp_directory_path() / "quellmark-preview-bench");
    std::printf("%-14s %9s %12s %12s %12s\n", "drawing", "file", "held", "peak growth", "target");
    int status = 0;
    for (const qmbench::PreviewDrawing& d : drawings) {
        const std::string command = "'" + std::string(self) + "' '" + d.file.string() + "'";
        std::FILE* child = popen(command.c_str(), "r");
        unsigned long long growth = 0;
        unsigned long long held = 0;
        const bool read = child != nullptr && std::fscanf(child, "%llu %llu", &growth, &held) == 2;
        if (child == nullptr || pclose(child) != 0 || !read) {
            std::printf("%-14s failed\n", d.name.c_str());
            status = 1;
            continue;
        }
        const double target = 3.0 * static_cast<double>(d.bytes) + 32e6;
        std::printf("%-14s %7.2f MB %9.2f MB %9.2f MB %9.2f MB%s\n", d.name.c_str(), d.bytes / 1e6, held / 1e6,
                    growth / 1e6, target / 1e6, static_cast<double>(growth) > target ? "  OVER" : "");
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return argc > 1 ? MeasureOne(argv[1]) : MeasureAll(argv[0]);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
}
