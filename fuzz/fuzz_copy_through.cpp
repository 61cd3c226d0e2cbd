// Fuzz target: the scan's edits against the full path. The first byte picks the format (even:
// JWW, odd: JWS); the rest is the drawing. The scan and the full reader must agree on success and
// on the failure's kind, offset, section and reason; on success they count the same dimensions
// and marks, the source with the scan's edits applied is what the full path writes, and every
// kind of edit is counted for the user. Any violation aborts.
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
                 (full.ok ? "takes" : "refuses: " + full.failure.message()) +
                 (ok ? "" : "; scan: " + failure.message()));
    }
    if (!ok) {
        if (failure.kind != full.failure.kind || failure.offset != full.failure.offset ||
            failure.section != full.failure.section || failure.detail != full.failure.detail) {
            Violated("the scan fails as \"" + failure.message() + "\", the reader as \"" + full.failure.message() +
                     "\"");
        }
        return 0;
    }
    if (scan.tally.dimensions != full.tally.dimensions || scan.tally.marked != full.tally.marked) {
        Violated("the scan counts other dimensions or marks than the full path");
    }
    Bytes applied;
    try {
        applied = ApplyEdits(drawing, scan.patches, scan.edits);
    } catch (const DrawingError& e) {
        Violated("the edits cannot be applied: " + e.failure().message());
    }
    if (applied != full.out) Violated("the edits give other bytes than the full path");
    for (const Edit& edit : scan.edits.edits()) {
        if (scan.changes[edit.kind] == 0)
            Violated(std::string("an edit of kind ") + ChangeKindName(edit.kind) + " is not told");
    }
    if (scan.changes.normalised() == scan.edits.empty()) Violated("the changes told do not match the edits");
    return 0;
}
