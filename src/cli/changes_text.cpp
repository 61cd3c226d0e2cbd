// The English words for each kind of change.
#include "changes_text.h"

namespace quellmark::cli {

namespace {

struct Words {
    const char* one;
    const char* many;  // nullptr: the change happens once to a drawing and is told without a count
};

Words WordsFor(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::FlagsMarked: return {"flags word marked", "flags words marked"};
        case ChangeKind::HeaderValueReset: return {"header value reset", "header values reset"};
        case ChangeKind::LineWidthLimited: return {"widest line width limited to -101", nullptr};
        case ChangeKind::SplitValueRewritten: return {"split value rewritten", nullptr};
        case ChangeKind::FillerRestored: return {"header filler restored", nullptr};
        case ChangeKind::NameCleaned: return {"name cleaned", "names cleaned"};
        case ChangeKind::TextCleaned: return {"text cleaned", "texts cleaned"};
        case ChangeKind::ImageReferenceShortened: return {"image reference shortened", "image references shortened"};
        case ChangeKind::StringLengthShortened: return {"string length shortened", "string lengths shortened"};
        case ChangeKind::CountRewritten: return {"count rewritten", "counts rewritten"};
        case ChangeKind::ClassTagRewritten: return {"class tag rewritten", "class tags rewritten"};
        case ChangeKind::AttributesNormalised: return {"set of attributes normalised", "sets of attributes normalised"};
        case ChangeKind::TimeStampRewritten: return {"block time stamp rewritten", "block time stamps rewritten"};
        case ChangeKind::UnreferencedImageDropped: return {"unreferenced image dropped", "unreferenced images dropped"};
        case ChangeKind::EmptyImageDropped: return {"empty image entry dropped", "empty image entries dropped"};
        case ChangeKind::VersionRaised: return {"version raised", nullptr};
        case ChangeKind::TrailingBytesDropped: return {"bytes after the end dropped", nullptr};
    }
    return {"", nullptr};
}

}  // namespace

std::string ChangesText(const ChangeTally& changes) {
    std::string text;
    for (const ChangeKind kind : Normalisations()) {
        const std::int64_t count = changes[kind];
        if (count == 0) continue;
        const Words words = WordsFor(kind);
        if (!text.empty()) text += ", ";
        text += words.many == nullptr ? words.one : std::to_string(count) + " " + (count == 1 ? words.one : words.many);
    }
    return text;
}

nlohmann::json ChangesJson(const ChangeTally& changes) {
    nlohmann::json j = nlohmann::json::object();
    for (const ChangeKind kind : Normalisations()) {
        if (changes[kind] > 0) j[ChangeKindName(kind)] = changes[kind];
    }
    return j;
}

}  // namespace quellmark::cli
