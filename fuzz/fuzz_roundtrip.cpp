// Fuzz target: a whole conversion in memory, then the conversion of its result. The first byte
// picks the format (even: JWW, odd: JWS); the rest is the drawing. Whatever reads must mark, write
// and read back; the drawing read back has nothing left to mark and keeps its dimensions; and
// once the writer has nothing left to clean, writing again gives the same bytes. Any violation
// aborts.
#include "drawing/Func_.h"
#include "drawing/bytes.h"
#include "drawing/dimensions.h"
#include "drawing/images.h"
#include "fuzz_support.h"
#include "jws/jwsunit.h"
#include "jww/jwwunit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

using namespace quellmark;
using namespace quellmark::fuzz;

namespace {

constexpr std::string_view kImageReference = "^@BM%temp%";

// The writer cleans names, font names and texts (SanitizeSjisText), and the JWS writer also
// shortens image references. A string the writer cleans again on every pass ("^^mm" loses one
// "^m" per pass) keeps changing the output; a drawing whose strings are all left as they are is a
// fixed point of read-then-write.
bool Clean(std::string_view s) { return IsCleanSjisText(s); }

bool Stable(const TEntityCollection& c, bool shortensImageReferences) {
    for (const TEntMoji& t : c.Moji) {
        if (!Clean(t.FontName) || !Clean(t.Text)) return false;
        if (shortensImageReferences && t.Text.starts_with(kImageReference)) return false;
    }
    for (const TEntSunpo& d : c.Sunpo) {
        if (!Clean(d.Text.FontName) || !Clean(d.Text.Text)) return false;
    }
    return true;
}

bool Stable(const std::vector<TEntBlockDef>& blocks, bool shortensImageReferences) {
    for (const TEntBlockDef& def : blocks) {
        if (!Clean(def.Name) || !Stable(def.Members, shortensImageReferences)) return false;
    }
    return true;
}

struct Jww {
    using Document = JwwDocument;

    static bool Read(Document& doc, std::span<const std::uint8_t> bytes, Failure* failure) {
        return ReadJwwBytes(doc, Images(), bytes, failure);
    }
    static std::int32_t Version(const Document& doc) { return doc.Header.Version; }
    static Bytes Write(const Document& doc) {
        return Written([&](ByteWriter& out) { WriteJwwStream(out, doc, Images(), doc.Header.Version); });
    }
    static bool Stable(const Document& doc) {
        for (const TLayer& l : doc.Layers) {
            if (!Clean(l.Name)) return false;
        }
        for (const TLayerGroup& g : doc.LayerGroups) {
            if (!Clean(g.Name)) return false;
        }
        for (const TColorExNo& c : doc.ColorsEx) {
            if (!Clean(c.Name)) return false;
        }
        for (const TLineTypeExNo& t : doc.LineTypesEx) {
            if (!Clean(t.Name)) return false;
        }
        return ::Stable(doc.Entities, false) && ::Stable(doc.BlockDefs, false);
    }
    // Block 17's split value is written from units and tens; from version 600 a value without
    // tens gains 10. A written value of 1 to 9 (from a negative one read) therefore reads back
    // without tens and is written as 11 to 19 on the next pass. Returns where the value is in the
    // output of doc, found by writing it once more with other units.
    static std::optional<std::size_t> SplitValueOffset(const Document& doc, const Bytes& written) {
        if (doc.Header.Version < 600) return std::nullopt;
        Document other = doc;
        other.Header.SplitUnits = doc.Header.SplitUnits == 0 ? 1 : 0;
        const Bytes moved = Write(other);
        if (moved.size() != written.size()) Violated("the split value changed the drawing's size");
        for (std::size_t i = 0; i < written.size(); ++i) {
            if (moved[i] != written[i]) return i;
        }
        return std::nullopt;
    }
};

struct Jws {
    using Document = JwsDocument;

    static bool Read(Document& doc, std::span<const std::uint8_t> bytes, Failure* failure) {
        return ReadJwsBytes(doc, bytes, failure);
    }
    static std::int32_t Version(const Document& doc) { return doc.Header.Version; }
    static Bytes Write(const Document& doc) {
        return Written([&](ByteWriter& out) { WriteJwsStream(out, doc, doc.Header.Version); });
    }
    static bool Stable(const Document& doc) {
        return ::Stable(doc.Entities, true) && ::Stable(doc.BlockDefs, true);
    }
    static std::optional<std::size_t> SplitValueOffset(const Document&, const Bytes&) {
        return std::nullopt;
    }
};

std::int32_t I32At(const Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

// The second pass must give the first pass's bytes, except for a split value that the first
// pass wrote as 1 to 9 and the second as 11 to 19.
template <typename Format>
void RequireSameOutput(const typename Format::Document& second, const Bytes& before,
                       const Bytes& after) {
    if (before == after) return;
    if (before.size() == after.size()) {
        if (auto at = Format::SplitValueOffset(second, after); at && *at + 4 <= after.size()) {
            const std::int32_t was = I32At(before, *at);
            const std::int32_t now = I32At(after, *at);
            bool restDiffers = false;
            for (std::size_t i = 0; i < after.size() && !restDiffers; ++i) {
                restDiffers = (i < *at || i >= *at + 4) && before[i] != after[i];
            }
            if (!restDiffers && was >= 1 && was <= 9 && now == was + 10) return;
        }
    }
    std::size_t first = 0;
    while (first < before.size() && first < after.size() && before[first] == after[first]) ++first;
    Violated("writing the drawing read back gives other bytes (" + std::to_string(before.size()) +
             " and " + std::to_string(after.size()) + " bytes, first difference at offset " +
             std::to_string(first) + ")");
}

// Passes after the first, until the writer finds nothing left to clean. Each pass that cleans
// shortens a string, so this ends; the bound only keeps pathological inputs quick.
constexpr int kMaxPasses = 32;

template <typename Format>
void RoundTrip(std::span<const std::uint8_t> input) {
    typename Format::Document doc;
    if (!Format::Read(doc, input, nullptr)) return;
    const DimensionTally first = AddDimensionAttributes(doc, Format::Version(doc));
    Bytes written = Format::Write(doc);
    bool stable = Format::Stable(doc);

    for (int pass = 2; pass <= kMaxPasses; ++pass) {
        typename Format::Document again;
        Failure failure;
        if (!Format::Read(again, written, &failure)) {
            Violated("pass " + std::to_string(pass) + " cannot read what was written: " + failure.message());
        }
        const DimensionTally tally = AddDimensionAttributes(again, Format::Version(again));
        if (tally.marked != 0) {
            Violated("pass " + std::to_string(pass) + " marked " + std::to_string(tally.marked) +
                     " dimensions again");
        }
        if (tally.dimensions != first.dimensions) {
            Violated("pass " + std::to_string(pass) + " holds " + std::to_string(tally.dimensions) +
                     " dimensions instead of " + std::to_string(first.dimensions));
        }
        Bytes rewritten = Format::Write(again);
        if (stable) {
            RequireSameOutput<Format>(again, written, rewritten);
            return;
        }
        stable = Format::Stable(again);
        written = std::move(rewritten);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> drawing(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        ImageCleanup cleanup;
        RoundTrip<Jww>(drawing);
    } else {
        RoundTrip<Jws>(drawing);
    }
    return 0;
}
