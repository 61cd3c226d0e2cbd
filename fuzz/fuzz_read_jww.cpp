// Fuzz target: the JWW reader and the memo probe of the file list on the same bytes. Image bytes
// are not kept, so nothing touches the disk.
#include "jww/jwwunit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using namespace quellmark;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);

    static ImageStore images = [] {
        ImageStore store{RealFileSystem()};
        store.KeepBytes = false;
        return store;
    }();
    JwwDocument doc;
    Failure failure;
    const bool read = ReadJwwBytes(doc, images, bytes, &failure);
    if (!read && failure.message().empty()) {
        std::fprintf(stderr, "a failed read gave no reason\n");
        std::abort();
    }

    JwwDocument probe;
    const bool probed = ReadJwwMemoBytes(probe, bytes);
    // The probe reads a prefix of what the full reader reads, with the same block sizes.
    if (read && (!probed || probe.Header.Memo != doc.Header.Memo)) {
        std::fprintf(stderr, "the memo probe disagrees with the reader\n");
        std::abort();
    }
    ClearImageList(images);
    return 0;
}
