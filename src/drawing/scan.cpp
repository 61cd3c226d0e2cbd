// The pieces of the scanning pass that every part of a drawing shares: strings, counts and class
// tags compared with what a writer would write, and the patches written over the source.
#include "scan.h"

#include "Func_.h"
#include "images.h"

#include <algorithm>
#include <cstring>

namespace quellmark {

namespace {

constexpr std::string_view kImageReference = "^@BM%temp%";

std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// An archive string's bytes, noting a length the writer would encode otherwise: one byte up to
// 254, 0xFF and a 16-bit length from 255 on.
std::string_view TakeArchiveString(ByteReader& in, ScanState& state) {
    std::size_t length = in.u8();
    bool longForm = false;
    if (length == 0xFF) {
        length = in.u16();
        longForm = true;
    }
    if (longForm != (length > 254)) state.rewritten = true;
    const auto bytes = in.take(length);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

void ResetScan(DrawingScan& scan) {
    std::vector<FlagsPatch> patches = std::move(scan.patches);
    patches.clear();
    const bool stop = scan.stopAtFirstChange;
    scan = DrawingScan{};
    scan.stopAtFirstChange = stop;
    scan.patches = std::move(patches);
}

std::size_t ScanState::searchOffsetOf(const std::uint16_t* word) const {
    for (std::size_t i = 0; i < tracked_; ++i) {
        if (flags_[i].word == word) return flags_[i].offset;
    }
    throw DrawingError(FailureKind::Internal, "a dimension's flags word was not seen where it was read");
}

std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextAsStored) {
    return TakeArchiveString(in, state);
}

std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextCleaned) {
    const std::string_view text = TakeArchiveString(in, state);
    if (!IsCleanSjisText(text)) state.rewritten = true;
    return text;
}

std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextContent) {
    const std::string_view text = ScanArchiveString(in, state, TextCleaned{});
    if (!text.starts_with(kImageReference)) return text;
    if (state.textRule == TextRule::ShortenImageReference) {
        state.rewritten = true;  // the reference is written shortened
    } else if (const std::string_view name = ImageReferenceName(text); !name.empty()) {
        state.imageReferences.push_back(UpperSjis(name));
    }
    return text;
}

std::int32_t ScanArchiveCount(ByteReader& in, ScanState& state) {
    const std::size_t at = in.offset();
    const std::int32_t count = ReadArchiveCount(in);
    const bool shortForm = in.offset() - at == kShortestCount;
    if (count < 0 || shortForm != (count < 0xFFFF)) state.rewritten = true;
    return count;
}

int ScanClassTag(StreamScanner& stream, TagPlace place) {
    ByteReader& in = stream.in;
    const std::size_t at = in.offset();
    const int classNo = place == TagPlace::EntityList ? ReadEntityClassTag(in, stream.archive)
                                                      : ReadClassTag(in, stream.archive, place);
    const std::span<const std::uint8_t> read = in.readSince(at);
    std::int32_t& index = stream.written.ClassIndex[static_cast<std::size_t>(classNo)];
    bool same;
    if (index != 0 && index < kLongClassReference) {
        same = read.size() == 2 && WordAt(read, 0) == kClassReferenceBase + index;
    } else if (index != 0) {
        std::uint32_t long32 = 0;
        if (read.size() == 6) std::memcpy(&long32, read.data() + 2, 4);
        same = read.size() == 6 && WordAt(read, 0) == kLongClassReference &&
               detail::FromLittleEndian(long32) == (static_cast<std::uint32_t>(index) | 0x80000000u);
    } else {
        // The writer names the class in full the first time it occurs, with its version.
        const std::string_view name = ArchiveClassName(classNo);
        same = read.size() == 6 + name.size() && WordAt(read, 0) == 0xFFFF &&
               WordAt(read, 2) == static_cast<std::uint16_t>(stream.version) && WordAt(read, 4) == name.size() &&
               std::memcmp(read.data() + 6, name.data(), name.size()) == 0;
        index = stream.written.Counter++;
    }
    if (!same) stream.state.rewritten = true;
    return classNo;
}

void ApplyPatches(std::span<std::uint8_t> bytes, const std::vector<FlagsPatch>& patches) {
    for (const FlagsPatch& patch : patches) {
        const std::uint64_t at = patch.offset();
        if (at + 2 > bytes.size()) throw DrawingError(FailureKind::Internal, "a flags word past the drawing's end");
        bytes[at] = static_cast<std::uint8_t>(patch.value() & 0xFF);
        bytes[at + 1] = static_cast<std::uint8_t>(patch.value() >> 8);
    }
}

std::vector<PatchSpan> PatchedSpans(const std::vector<FlagsPatch>& patches, std::uint64_t size) {
    std::vector<PatchSpan> spans;
    for (const FlagsPatch& patch : patches) {
        const std::uint64_t begin = patch.offset() / kPatchBlock * kPatchBlock;
        const std::uint64_t end = std::min(size, (patch.offset() + 2 + kPatchBlock - 1) / kPatchBlock * kPatchBlock);
        if (!spans.empty() && begin <= spans.back().end) {
            spans.back().end = std::max(spans.back().end, end);
        } else {
            spans.push_back({begin, end});
        }
    }
    return spans;
}

std::uint64_t SpanBytes(const std::vector<PatchSpan>& spans) {
    std::uint64_t bytes = 0;
    for (const PatchSpan& span : spans) bytes += span.end - span.begin;
    return bytes;
}

}  // namespace quellmark
