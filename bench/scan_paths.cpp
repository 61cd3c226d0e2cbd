// Which path each drawing of a folder takes when it is converted: a plain copy (nothing to mark),
// a copy with its flags words written over it (in the kernel with the changed blocks rewritten,
// or as one write when the changes are dense), or the full reader and writer.
// Usage: scan-paths FOLDER...
#include "drawing/recognise.h"
#include "drawing/scan.h"
#include "jws/jwsunit.h"
#include "jww/jwwunit.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace quellmark;

namespace {

struct Paths {
    int plainCopies = 0;
    int patchedCopies = 0;  // copied in the kernel, changed blocks rewritten
    int patchedWrites = 0;  // one write of the patched bytes
    int fullPath = 0;
    int failed = 0;
    std::uint64_t bytes = 0;
    std::uint64_t patches = 0;
    std::uint64_t rewrittenBytes = 0;  // of the patched copies
};

void Count(const std::filesystem::path& file, Paths& paths) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const DrawingFormat format = FormatOfBytes(bytes);
    if (format == DrawingFormat::None) return;
    paths.bytes += bytes.size();
    DrawingScan scan;
    const bool ok = format == DrawingFormat::Jww ? ScanJwwBytes(bytes, scan) : ScanJwsBytes(bytes, scan);
    if (!ok) {
        ++paths.failed;
    } else if (!scan.copyThrough) {
        ++paths.fullPath;
    } else if (scan.patches.empty()) {
        ++paths.plainCopies;
    } else {
        paths.patches += scan.patches.size();
        const std::uint64_t spans = SpanBytes(PatchedSpans(scan.patches, bytes.size()));
        if (CopyAndPatchPays(spans, bytes.size())) {
            ++paths.patchedCopies;
            paths.rewrittenBytes += spans;
        } else {
            ++paths.patchedWrites;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: scan-paths FOLDER...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        Paths paths;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            if (entry.is_regular_file() && FormatOfName(entry.path()) != DrawingFormat::None) Count(entry.path(), paths);
        }
        std::printf("%s: %.1f MB; plain copy %d, copy with blocks rewritten %d (%llu flags words, %.1f MB rewritten), "
                    "one patched write %d, full path %d, failed %d\n",
                    argv[i], static_cast<double>(paths.bytes) / 1e6, paths.plainCopies, paths.patchedCopies,
                    static_cast<unsigned long long>(paths.patches), static_cast<double>(paths.rewrittenBytes) / 1e6,
                    paths.patchedWrites, paths.fullPath, paths.failed);
    }
    return 0;
}
