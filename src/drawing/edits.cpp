// The edit list of a drawing: kept in the order of the source, applied front to back.
#include "edits.h"

#include <algorithm>

namespace quellmark {

namespace {

constexpr std::array<ChangeKind, kChangeKinds - 1> kNormalisations = {
    ChangeKind::VersionRaised,        ChangeKind::HeaderValueReset,         ChangeKind::LineWidthLimited,
    ChangeKind::SplitValueRewritten,  ChangeKind::FillerRestored,           ChangeKind::NameCleaned,
    ChangeKind::TextCleaned,          ChangeKind::ImageReferenceShortened,  ChangeKind::StringLengthShortened,
    ChangeKind::CountRewritten,       ChangeKind::ClassTagRewritten,        ChangeKind::AttributesNormalised,
    ChangeKind::TimeStampRewritten,   ChangeKind::UnreferencedImageDropped, ChangeKind::EmptyImageDropped,
    ChangeKind::TrailingBytesDropped,
};

}  // namespace

const char* ChangeKindName(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::FlagsMarked: return "flags-marked";
        case ChangeKind::HeaderValueReset: return "header-value-reset";
        case ChangeKind::LineWidthLimited: return "line-width-limited";
        case ChangeKind::SplitValueRewritten: return "split-value-rewritten";
        case ChangeKind::FillerRestored: return "filler-restored";
        case ChangeKind::NameCleaned: return "name-cleaned";
        case ChangeKind::TextCleaned: return "text-cleaned";
        case ChangeKind::ImageReferenceShortened: return "image-reference-shortened";
        case ChangeKind::StringLengthShortened: return "string-length-shortened";
        case ChangeKind::CountRewritten: return "count-rewritten";
        case ChangeKind::ClassTagRewritten: return "class-tag-rewritten";
        case ChangeKind::AttributesNormalised: return "attributes-normalised";
        case ChangeKind::TimeStampRewritten: return "time-stamp-rewritten";
        case ChangeKind::UnreferencedImageDropped: return "unreferenced-image-dropped";
        case ChangeKind::EmptyImageDropped: return "empty-image-dropped";
        case ChangeKind::VersionRaised: return "version-raised";
        case ChangeKind::TrailingBytesDropped: return "trailing-bytes-dropped";
    }
    return "";
}

std::span<const ChangeKind> Normalisations() { return kNormalisations; }

bool ChangeTally::normalised() const {
    return std::any_of(kNormalisations.begin(), kNormalisations.end(),
                       [this](ChangeKind kind) { return (*this)[kind] > 0; });
}

void EditList::clear() {
    edits_.clear();
    bytes_.clear();
    growth_ = 0;
    keepsLength_ = true;
}

void EditList::add(ChangeKind kind, std::uint64_t offset, std::uint64_t length, std::span<const std::uint8_t> bytes) {
    if (!edits_.empty() && offset < edits_.back().offset + edits_.back().length) {
        throw DrawingError(FailureKind::Internal, "an edit of the scan came out of the source's order");
    }
    edits_.push_back(Edit{offset, length, bytes_.size(), bytes.size(), kind});
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    growth_ += static_cast<std::int64_t>(bytes.size()) - static_cast<std::int64_t>(length);
    if (bytes.size() != length) keepsLength_ = false;
}

void EditList::addDifference(ChangeKind kind, std::uint64_t offset, std::span<const std::uint8_t> source,
                             std::span<const std::uint8_t> written) {
    const std::size_t shorter = std::min(source.size(), written.size());
    std::size_t front = 0;
    while (front < shorter && source[front] == written[front]) ++front;
    if (front == source.size() && front == written.size()) return;
    std::size_t back = 0;
    while (back < shorter - front && source[source.size() - 1 - back] == written[written.size() - 1 - back]) ++back;
    add(kind, offset + front, source.size() - front - back, written.subspan(front, written.size() - front - back));
}

Bytes ApplyEdits(std::span<const std::uint8_t> source, const std::vector<FlagsPatch>& patches, const EditList& edits) {
    Bytes out;
    out.reserve(static_cast<std::size_t>(static_cast<std::int64_t>(source.size()) + edits.growth()));
    ForEachPiece(
        source.size(), patches, edits,
        [&](std::uint64_t from, std::uint64_t length) {
            out.insert(out.end(), source.begin() + static_cast<std::ptrdiff_t>(from),
                       source.begin() + static_cast<std::ptrdiff_t>(from + length));
        },
        [&](const EditView& edit) { out.insert(out.end(), edit.bytes.begin(), edit.bytes.end()); });
    return out;
}

void ApplyInPlace(std::span<std::uint8_t> bytes, const std::vector<FlagsPatch>& patches, const EditList& edits,
                  std::uint64_t from, std::uint64_t upTo) {
    // Edits in place touch bytes of their own only, so the marks and the other edits go in one
    // list after the other, each walked in the source's order up to where the range ends.
    const auto write = [&](std::uint64_t offset, std::span<const std::uint8_t> written) {
        if (offset + written.size() > bytes.size()) {
            throw DrawingError(FailureKind::Internal, "an edit reaches past the drawing's end");
        }
        std::copy(written.begin(), written.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    };
    for (const FlagsPatch patch : patches) {
        if (patch.offset() + 2 > upTo) break;
        if (patch.offset() < from) continue;
        const std::uint8_t word[2] = {static_cast<std::uint8_t>(patch.value() & 0xFF),
                                      static_cast<std::uint8_t>(patch.value() >> 8)};
        write(patch.offset(), word);
    }
    for (const Edit& edit : edits.edits()) {
        if (edit.offset >= upTo) break;
        if (edit.offset < from || edit.offset + edit.length > upTo || edit.size != edit.length) continue;
        write(edit.offset, edits.bytesOf(edit));
    }
}

}  // namespace quellmark
