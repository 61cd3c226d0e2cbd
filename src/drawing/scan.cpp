// The pieces of the scanning pass that every part of a drawing shares: strings, counts and class
// tags compared with what a writer would write, each difference an edit.
#include "scan.h"

#include "Func_.h"
#include "images.h"

#include <algorithm>
#include <cstring>

namespace quellmark {

namespace {

constexpr std::string_view kImageReference = "^@BM%temp%";
constexpr std::string_view kShortImageReference = "^@BM";

// A string the writer writes as `text` instead: the whole string, length and all, rewritten.
void ReplaceText(ScanState& state, const ScannedString& s, std::string_view text, ChangeKind kind,
                 bool counted = true) {
    std::vector<std::uint8_t> written(3 + text.size());
    std::uint8_t prefix[3];
    const std::size_t prefixSize = ArchiveStringPrefix(text.size(), prefix);
    std::copy(prefix, prefix + prefixSize, written.begin());
    std::copy(text.begin(), text.end(), written.begin() + static_cast<std::ptrdiff_t>(prefixSize));
    written.resize(prefixSize + text.size());
    state.rewrite(kind, s.at, s.end() - s.at, written, counted);
}

// A string the writer cleans: a text with control bytes or "^m" rewritten, a clean one kept.
std::string_view CleanText(ByteReader& in, ScanState& state, ChangeKind kind) {
    const ScannedString s = TakeArchiveString(in);
    if (IsCleanSjisText(s.text)) {
        KeepText(state, s);
    } else {
        ReplaceText(state, s, SanitizeSjisText(s.text), kind);
    }
    return s.text;
}

}  // namespace

ScannedString TakeArchiveString(ByteReader& in) {
    ScannedString s{in.offset(), false, {}};
    std::size_t length = in.u8();
    if (length == 0xFF) {
        length = in.u16();
        s.longForm = true;
    }
    const auto bytes = in.take(length);
    s.text = {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    return s;
}

void KeepText(ScanState& state, const ScannedString& s) {
    if (!s.longForm || s.text.size() > 254) return;
    const std::uint8_t length = static_cast<std::uint8_t>(s.text.size());
    state.change(ChangeKind::StringLengthShortened, s.at, 3, std::span<const std::uint8_t>(&length, 1));
}

void ScanEnd(const ByteReader& in, ScanState& state) {
    state.rewriteRecords();
    state.scan.end = in.offset();
    state.scan.trailingBytes = in.remaining();
    if (in.remaining() > 0) state.change(ChangeKind::TrailingBytesDropped, in.offset(), in.remaining(), {});
}

void ResetScan(DrawingScan& scan) {
    std::vector<FlagsPatch> patches = std::move(scan.patches);
    patches.clear();
    EditList edits = std::move(scan.edits);
    edits.clear();
    scan = DrawingScan{};
    scan.patches = std::move(patches);
    scan.edits = std::move(edits);
}

void ScanState::rewriteNotedRecords() {
    const std::size_t count = std::exchange(recordCount_, 0);
    if (count > records_.size())
        throw DrawingError(FailureKind::Internal, "more records to rewrite than the scan keeps");
    for (std::size_t i = 0; i < count; ++i) records_[i].rewrite(*this, records_[i]);
}

void ScanState::throwFlagsNotSeen() {
    throw DrawingError(FailureKind::Internal, "a dimension's flags word was not seen where it was read");
}

std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextAsStored) {
    const ScannedString s = TakeArchiveString(in);
    KeepText(state, s);
    return s.text;
}

std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextCleaned) {
    return CleanText(in, state, ChangeKind::TextCleaned);
}

std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextName) {
    return CleanText(in, state, ChangeKind::NameCleaned);
}

std::string_view ScanArchiveString(ByteReader& in, ScanState& state, TextContent) {
    if (state.textRule == TextRule::Keep) {
        const std::string_view text = CleanText(in, state, ChangeKind::TextCleaned);
        // The writer finds the images a text refers to in the text as read.
        if (const std::string_view name = ImageReferenceName(text); !name.empty()) {
            state.imageReferences.push_back(UpperSjis(name));
        }
        return text;
    }
    // The text cleaned, and an image reference at its start written short.
    const ScannedString s = TakeArchiveString(in);
    const bool clean = IsCleanSjisText(s.text);
    if (clean && !s.text.starts_with(kImageReference)) {
        KeepText(state, s);
        return s.text;
    }
    std::string text = clean ? std::string(s.text) : SanitizeSjisText(s.text);
    const bool shortened = text.starts_with(kImageReference);
    if (shortened) text.replace(0, kImageReference.size(), kShortImageReference);
    // One string may be both cleaned and shortened: each is counted.
    if (!clean) ++state.scan.changes[ChangeKind::TextCleaned];
    if (shortened) ++state.scan.changes[ChangeKind::ImageReferenceShortened];
    ReplaceText(state, s, text, clean ? ChangeKind::ImageReferenceShortened : ChangeKind::TextCleaned, false);
    return s.text;
}

std::int32_t ScanArchiveCount(ByteReader& in, ScanState& state) {
    const std::size_t at = in.offset();
    const std::int32_t count = ReadArchiveCount(in);
    std::uint8_t written[6];
    const std::size_t size = ArchiveCountBytes(count < 0 ? 0 : count, written);
    state.rewrite(ChangeKind::CountRewritten, at, in.offset() - at, std::span<const std::uint8_t>(written, size));
    return count;
}

int ScanClassTag(StreamScanner& stream, TagPlace place) {
    ByteReader& in = stream.in;
    const std::size_t at = in.offset();
    const int classNo = place == TagPlace::EntityList ? ReadEntityClassTag(in, stream.archive)
                                                      : ReadClassTag(in, stream.archive, place);
    const std::span<const std::uint8_t> read = in.readSince(at);
    std::int32_t& index = stream.written.ClassIndex[static_cast<std::size_t>(classNo)];
    std::uint8_t reference[6];
    if (index != 0) {
        stream.state.rewrite(ChangeKind::ClassTagRewritten, at, read.size(),
                             std::span<const std::uint8_t>(reference, ClassReferenceBytes(index, reference)));
        return classNo;
    }
    // The writer names the class in full the first time it occurs, with the version it writes.
    const std::string_view name = ArchiveClassName(classNo);
    std::vector<std::uint8_t> tag(6 + name.size());
    std::uint8_t head[6];
    NewClassTagHead(classNo, stream.state.writtenVersion, head);
    std::copy(head, head + 6, tag.begin());
    std::copy(name.begin(), name.end(), tag.begin() + 6);
    index = stream.written.Counter++;
    if (std::equal(read.begin(), read.end(), tag.begin(), tag.end())) return classNo;
    // A tag as a writer of the version read gives it differs only by the version written.
    NewClassTagHead(classNo, stream.version, head);
    const bool versionOnly = read.size() == tag.size() && std::equal(head, head + 6, read.begin()) &&
                             std::equal(tag.begin() + 6, tag.end(), read.begin() + 6);
    stream.state.rewrite(versionOnly ? ChangeKind::VersionRaised : ChangeKind::ClassTagRewritten, at, read.size(), tag,
                         !versionOnly);
    return classNo;
}

}  // namespace quellmark
