// How drawing text is written: cleaned for writing, and a text entity's image reference
// shortened where the stream asks for it.
#include "layout.h"

namespace quellmark {

namespace {

constexpr std::string_view kImageReference = "^@BM%temp%";
constexpr std::string_view kShortImageReference = "^@BM";

}  // namespace

void WriteCleanText(ByteWriter& out, std::string_view text) {
    if (IsCleanSjisText(text)) {
        WriteArchiveString(out, text);
    } else {
        WriteArchiveString(out, SanitizeSjisText(text));
    }
}

void WriteTextContent(ByteWriter& out, std::string_view text, TextRule rule) {
    if (rule == TextRule::Keep) {
        WriteCleanText(out, text);
        return;
    }
    std::string clean = SanitizeSjisText(text);
    if (clean.starts_with(kImageReference)) {
        clean.replace(0, kImageReference.size(), kShortImageReference);
    }
    WriteArchiveString(out, clean);
}

}  // namespace quellmark
