// How each drawing of a folder is written when it is converted: a plain copy (nothing to change),
// a copy with the blocks that hold its edits written over it, a copy up to its first edit of
// another length and the rest written, or written whole from memory (edits dense from the start),
// and what the writers change in it beyond its marks.
// Usage: scan-paths FOLDER...
#include "drawing/drawing_file.h"
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
    int blocksWritten = 0;  // copied whole, the blocks with edits written over it
    int copiedInPart = 0;   // copied up to the first edit of another length
    int writtenWhole = 0;
    int normalised = 0;
    int failed = 0;
    std::uint64_t bytes = 0;
    std::uint64_t shared = 0;      // bytes copied as they lie (shareable)
    std::uint64_t blockBytes = 0;  // bytes of the blocks written over the copies
    std::uint64_t marks = 0;
    std::uint64_t edits = 0;
    ChangeTally changes;
};

void Count(const std::filesystem::path& file, Paths& paths) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const DrawingFormat format = FormatOfBytes(bytes);
    if (format == DrawingFormat::None) return;
    paths.bytes += bytes.size();
    DrawingScan scan;
    if (!(format == DrawingFormat::Jww ? ScanJwwBytes(bytes, scan) : ScanJwsBytes(bytes, scan))) {
        ++paths.failed;
        return;
    }
    paths.marks += scan.patches.size();
    paths.edits += scan.edits.edits().size();
    if (scan.changes.normalised()) ++paths.normalised;
    for (std::size_t k = 0; k < kChangeKinds; ++k) paths.changes.counts[k] += scan.changes.counts[k];
    const EditedCopyPlan plan = PlanEditedCopy(bytes.size(), scan.patches, scan.edits);
    paths.shared += plan.shared;
    paths.blockBytes += plan.blockBytes();
    if (scan.patches.empty() && scan.edits.empty()) {
        ++paths.plainCopies;
    } else if (plan.shared == bytes.size()) {
        ++paths.blocksWritten;
    } else if (plan.shared > 0) {
        ++paths.copiedInPart;
    } else {
        ++paths.writtenWhole;
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
            if (entry.is_regular_file() && FormatOfName(entry.path()) != DrawingFormat::None)
                Count(entry.path(), paths);
        }
        std::printf(
            "%s: %.1f MB; plain copy %d, copy with blocks written over it %d, copied in part %d, "
            "written whole %d, failed %d; %.1f MB copied as it lies, %.1f MB of blocks written over it; "
            "%llu flags words, %llu other edits; %d drawings normalised:",
            argv[i], static_cast<double>(paths.bytes) / 1e6, paths.plainCopies, paths.blocksWritten, paths.copiedInPart,
            paths.writtenWhole, paths.failed, static_cast<double>(paths.shared) / 1e6,
            static_cast<double>(paths.blockBytes) / 1e6, static_cast<unsigned long long>(paths.marks),
            static_cast<unsigned long long>(paths.edits), paths.normalised);
        for (const ChangeKind kind : Normalisations()) {
            if (paths.changes[kind] > 0)
                std::printf(" %s %lld", ChangeKindName(kind), static_cast<long long>(paths.changes[kind]));
        }
        std::printf("\n");
    }
    return 0;
}
