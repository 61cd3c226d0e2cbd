// File list cell rules.
#include "FileListText.h"

#include <algorithm>
#include <charconv>

namespace quellmark {

namespace {

unsigned char UpperByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

}  // namespace

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(UpperByte(c));
    return upper;
}

bool ListsBefore(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (UpperByte(a[i]) != UpperByte(b[i])) return UpperByte(a[i]) < UpperByte(b[i]);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

const char* FilePattern(int fileType) {
    switch (fileType) {
        case 1: return "*.jw?";
        case 2: return "*.jww";
        case 3: return "*.jws";
        default: return "*.*";
    }
}

int SizeFieldWidth(int columnWidth, int charWidth) { return std::max(3, columnWidth / std::max(3, charWidth)); }

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

namespace {

// The rows below a given one, as a tree whose every node holds the row with the best key of the
// rows under it: the smallest (largest when descending), the topmost of equal ones.
class BestRowTree {
public:
    BestRowTree(const std::vector<std::string>& keys, bool descending) : keys_(keys), descending_(descending) {
        while (leaves_ < keys.size()) leaves_ *= 2;
        best_.assign(2 * leaves_, -1);
        for (std::size_t i = 0; i < keys.size(); ++i) best_[leaves_ + i] = static_cast<int>(i);
        for (std::size_t node = leaves_ - 1; node >= 1; --node) Recompute(node);
    }
    // The key of this row changed: the nodes above it choose again.
    void Changed(int row) {
        for (std::size_t node = (leaves_ + static_cast<std::size_t>(row)) / 2; node >= 1; node /= 2) Recompute(node);
    }
    // The best row from first to the last; -1 when there is none.
    int BestFrom(int first) const {
        int best = -1;
        std::size_t lo = leaves_ + static_cast<std::size_t>(first);
        std::size_t hi = 2 * leaves_;  // one past the last leaf
        while (lo < hi) {
            if (lo & 1) best = Better(best, best_[lo++]);
            if (hi & 1) best = Better(best, best_[--hi]);
            lo /= 2;
            hi /= 2;
        }
        return best;
    }

private:
    int Better(int a, int b) const {
        if (a < 0) return b;
        if (b < 0) return a;
        const int order = std::string_view(keys_[a]).compare(keys_[b]);
        if (order == 0) return std::min(a, b);
        return (descending_ ? order > 0 : order < 0) ? a : b;
    }
    void Recompute(std::size_t node) { best_[node] = Better(best_[2 * node], best_[2 * node + 1]); }

    const std::vector<std::string>& keys_;
    const bool descending_;
    std::size_t leaves_ = 1;
    std::vector<int> best_;
};

}  // namespace

std::vector<std::pair<int, int>> HeaderSortExchanges(std::vector<std::string> keys, bool descending) {
    std::vector<std::pair<int, int>> exchanges;
    const int n = static_cast<int>(keys.size());
    if (n < 2) return exchanges;
    BestRowTree tree(keys, descending);
    for (int r = 0; r + 1 < n; ++r) {
        // Scanning down from r, a row replaces the pick only when its key is strictly better, so
        // the pick is the topmost of the best keys below r, and only if it beats r's own.
        const int best = tree.BestFrom(r + 1);
        const int order = std::string_view(keys[best]).compare(keys[r]);
        if (descending ? order > 0 : order < 0) {
            std::swap(keys[r], keys[best]);
            tree.Changed(best);
            exchanges.emplace_back(r + 1, best + 1);
        }
    }
    return exchanges;
}

}  // namespace quellmark
