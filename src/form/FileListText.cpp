// File list cell rules.
#include "FileListText.h"

#include <algorithm>
#include <charconv>

namespace quellmark {

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

std::string UpperExtensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : AsciiUpper(name.substr(dot));
}

const char* FilePattern(int fileType) {
    switch (fileType) {
        case 1: return "*.jw?";
        case 2: return "*.jww";
        case 3: return "*.jws";
        default: return "*.*";
    }
}

int SizeFieldWidth(int columnWidth, int charWidth) {
    return std::max(3, columnWidth / std::max(3, charWidth));
}

std::string RightJustify(std::int64_t value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), ' ');
    return digits;
}

std::int64_t ParseSizeCell(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return 0;
    text.remove_prefix(start);
    if (text.starts_with('+')) text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? value : 0;
}

std::vector<std::pair<int, int>> HeaderSortExchanges(std::vector<std::string> keys, bool descending) {
    std::vector<std::pair<int, int>> exchanges;
    const int n = static_cast<int>(keys.size());
    for (int r = 0; r + 1 < n; ++r) {
        int best = -1;
        std::string_view key = keys[r];
        for (int s = r + 1; s < n; ++s) {
            const std::string_view v = keys[s];
            if (descending ? v > key : v < key) {
                best = s;
                key = v;
            }
        }
        if (best >= 0) {
            std::swap(keys[r], keys[best]);
            exchanges.emplace_back(r + 1, best + 1);
        }
    }
    return exchanges;
}

}  // namespace quellmark
