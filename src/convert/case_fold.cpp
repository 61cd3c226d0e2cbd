// The folding of letters: a lookup in the sorted runs of case_fold_table.inc, and UTF-8 decoded
// and encoded around it.
#include "case_fold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace quellmark {

namespace {

// Each stride-th letter from first to last maps to itself + delta.
struct FoldRun {
    char32_t first;
    char32_t last;
    std::uint8_t stride;
    std::int32_t delta;
};

constexpr FoldRun kRuns[] = {
#include "case_fold_table.inc"
};

static_assert(std::is_sorted(std::begin(kRuns), std::end(kRuns),
                             [](const FoldRun& a, const FoldRun& b) { return a.last < b.first; }));

// Appends the code point as UTF-8.
void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

char32_t FoldedLetter(char32_t c) {
    if (c < 0x80) return c >= U'a' && c <= U'z' ? c - 0x20 : c;
    const FoldRun* run = std::lower_bound(std::begin(kRuns), std::end(kRuns), c,
                                          [](const FoldRun& r, char32_t letter) { return r.last < letter; });
    if (run == std::end(kRuns) || c < run->first || (c - run->first) % run->stride != 0) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + run->delta);
}

void AppendFolded(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
            ++i;
            continue;
        }
        const std::size_t length = (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        bool wellFormed = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            wellFormed = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (!wellFormed) {
            out += text[i++];
            continue;
        }
        char32_t c = b & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const char32_t folded = FoldedLetter(c);
        if (folded == c) {
            out.append(text.substr(i, length));  // as written, even where written too long
        } else {
            AppendUtf8(out, folded);
        }
        i += length;
    }
}

std::string Folded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendFolded(out, text);
    return out;
}

}  // namespace quellmark
