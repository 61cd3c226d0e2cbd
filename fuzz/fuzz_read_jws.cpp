// Fuzz target: the JWS reader.
#include "jws/jwsunit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using namespace quellmark;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    JwsDocument doc;
    Failure failure;
    const bool read = ReadJwsBytes(doc, std::span<const std::uint8_t>(data, size), &failure);
    if (!read && failure.message().empty()) {
        std::fprintf(stderr, "a failed read gave no reason\n");
        std::abort();
    }
    if (read && doc.JwsLayerGroups.size() != 16) {
        std::fprintf(stderr, "a read drawing has %zu layer groups\n", doc.JwsLayerGroups.size());
        std::abort();
    }
    return 0;
}
