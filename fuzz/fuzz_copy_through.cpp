// Fuzz target: copy-through against the full path. The first byte picks the format (even: JWW,
// odd: JWS); the rest is the drawing. The scan and the full reader must agree on success and on
// the failure's kind, offset, section and reason; on success they count the same dimensions and
// marks, and the scan takes copy-through exactly when the source with its patches is what the
// full path writes. Any violation aborts.
#include "drawing/bytes.h"
#include "drawing/dimensions.h"
#include "drawing/scan.h"
#include "fuzz_support.h"
#include "jws/jwsunit.h"
#include "jww/jwwunit.h"

#include <cstdint>
#include <span>
#include <string>

using namespace quellmark;
using namespace quellmark::fuzz;

namespace {

struct FullPath {
    bool ok = false;
    Failure failure;
    DimensionTally tally;
    Bytes out;
};

FullPath Convert(std::span<const std::uint8_t> bytes, bool jww) {
    FullPath full;
    if (jww) {
        JwwDocument doc;
        full.ok = ReadJwwBytes(doc, Images(), bytes, &full.failure);
        if (full.ok) {
            full.tally = AddDimensionAttributes(doc, doc.Header.Version);
            full.out = Written([&](ByteWriter& out) { WriteJwwStream(out, doc, Images(), doc.Header.Version); });
        }
    } else {
        JwsDocument doc;
        full.ok = ReadJwsBytes(doc, bytes, &full.failure);
        if (full.ok) {
            full.tally = AddDimensionAttributes(doc, doc.Header.Version);
            full.out = Written([&](ByteWriter& out) { WriteJwsStream(out, doc, doc.Header.Version); });
        }
    }
    return full;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> drawing(data + 1, size - 1);
    const bool jww = data[0] % 2 == 0;
    ImageCleanup cleanup;
    const FullPath full = Convert(drawing, jww);
    DrawingScan scan;
    Failure failure;
    const bool ok = jww ? ScanJwwBytes(drawing, scan, &failure) : ScanJwsBytes(drawing, scan, &failure);
    if (ok != full.ok) {
        Violated(std::string(ok ? "the scan takes" : "the scan refuses") + " a drawing the reader " +
                 (full.ok ? "takes" : "refuses: " + full.failure.message()) + (ok ? "" : "; scan: " + failure.message()));
    }
    if (!ok) {
        if (failure.kind != full.failure.kind || failure.offset != full.failure.offset ||
            failure.section != full.failure.section || failure.detail != full.failure.detail) {
            Violated("the scan fails as \"" + failure.message() + "\", the reader as \"" + full.failure.message() + "\"");
        }
        return 0;
    }
    if (scan.tally.dimensions != full.tally.dimensions || scan.tally.marked != full.tally.marked) {
        Violated("the scan counts other dimensions or marks than the full path");
    }
    Bytes patched(drawing.begin(), drawing.end());
    ApplyPatches(patched, scan.patches);
    const bool same = patched == full.out;
    if (scan.copyThrough && !same) Violated("copy-through would write other bytes than the full path");
    if (!scan.copyThrough && same) Violated("copy-through was missed where the full path writes the same bytes");
    return 0;
}
