// Byte-string helpers: fixed-field copies, integer parsing with a 0 fallback, Shift-JIS filters.
#include "Func_.h"

#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace quellmark {

void CopyToCharArray(std::span<char> dest, std::string_view source, std::int32_t n) {
    std::size_t k = n < 0 ? static_cast<std::size_t>(-static_cast<std::int64_t>(n)) : static_cast<std::size_t>(n);
    if (k > source.size()) k = source.size();
    if (k > dest.size()) throw std::out_of_range("CopyToCharArray: past the end of the field");
    source.copy(dest.data(), k);
}

void FillCharArray(std::span<char> dest, unsigned char value, std::int32_t n) {
    if (n <= 0) return;
    if (static_cast<std::size_t>(n) > dest.size()) {
        throw std::out_of_range("FillCharArray: past the end of the field");
    }
    for (std::int32_t i = 0; i < n; ++i) dest[static_cast<std::size_t>(i)] = static_cast<char>(value);
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::int32_t StrToIntDef0(std::string_view text) {
    std::size_t p = 0;
    while (p < text.size() && text[p] == ' ') ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) negative = text[p++] == '-';

    bool hex = false;
    if (p < text.size() && (text[p] == '$' || text[p] == 'x' || text[p] == 'X')) {
        hex = true;
        ++p;
    } else if (p + 1 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
        hex = true;
        p += 2;
    }
    if (p == text.size()) return 0;  // no digits

    std::uint64_t value = 0;
    for (; p < text.size(); ++p) {
        int digit = hex ? HexDigit(text[p]) : (text[p] >= '0' && text[p] <= '9' ? text[p] - '0' : -1);
        if (digit < 0) return 0;
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return 0;
    }
    if (hex) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    if (value > limit) return 0;
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value)) : static_cast<std::int32_t>(value);
}

namespace {

std::string Filter(std::string_view text, bool dropCaretM) {
    std::string out;
    out.reserve(text.size());
    std::size_t p = 0;
    while (p < text.size()) {
        const auto b = static_cast<unsigned char>(text[p]);
        if (IsSjisLeadByte(b)) {
            out.push_back(text[p]);
            if (p + 1 < text.size()) out.push_back(text[p + 1]);
            p += 2;
        } else if (dropCaretM && b == '^' && p + 1 < text.size() && text[p + 1] == 'm') {
            p += 2;
        } else {
            if (b >= 0x20) out += static_cast<char>(b);
            ++p;
        }
    }
    return out;
}

}  // namespace

std::string SanitizeSjis(std::string_view text) { return Filter(text, false); }

std::string SanitizeSjisText(std::string_view text) {
    std::string out = Filter(text, true);
    if (out.empty() && !text.empty()) out.push_back(' ');
    return out;
}

namespace {

// How far one step of the text filters' scan goes from each byte: 1 over a single-byte
// character, 2 over a double-byte one, 0 where the filters must look closer (a control byte
// or a caret).
constexpr std::array<std::uint8_t, 256> kCleanStep = [] {
    std::array<std::uint8_t, 256> steps{};
    for (int b = 0; b < 256; ++b) {
        steps[b] = IsSjisLeadByte(static_cast<unsigned char>(b)) ? 2 : b < 0x20 || b == '^' ? 0 : 1;
    }
    return steps;
}();

}  // namespace

bool IsCleanSjisText(std::string_view text) {
    // Most texts hold neither a control byte nor "^m" anywhere, and then nothing can need
    // cleaning. This test looks at each position on its own, so it runs on whole vectors of
    // bytes; only a text that has one of them is walked character by character to see whether
    // it stands where a single-byte character does or inside a double-byte one.
    // A long text is looked at whole in a loop the compiler turns into vector operations. Most
    // texts are a few dozen bytes, too short for that to pay: they are looked at eight bytes at a
    // time with word arithmetic, where a byte below 0x20 or any "^" sends the text to the walk
    // (the word tricks are exact for whether any byte of the word is one).
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    bool suspicious = false;
    if (n >= 64) {
        unsigned found = bytes[n - 1] < 0x20;
        for (std::size_t i = 0; i + 1 < n; ++i) {
            found |= static_cast<unsigned>(bytes[i] < 0x20) |
                     (static_cast<unsigned>(bytes[i] == '^') & static_cast<unsigned>(bytes[i + 1] == 'm'));
        }
        suspicious = found != 0;
    } else {
        // Bytes looked at twice (the last word overlaps the one before it, as the two halves of
        // a short text's word may) change nothing in whether any is suspicious.
        constexpr std::uint64_t kOnes = 0x0101010101010101u;
        constexpr std::uint64_t kHighs = 0x8080808080808080u;
        const auto flagged = [](std::uint64_t word) {
            const std::uint64_t control = (word - kOnes * 0x20) & ~word & kHighs;
            const std::uint64_t carets = word ^ (kOnes * '^');
            return control | ((carets - kOnes) & ~carets & kHighs);
        };
        const auto load = [bytes]<class T>(std::size_t at, T) {
            T value;
            std::memcpy(&value, bytes + at, sizeof value);
            return static_cast<std::uint64_t>(value);
        };
        std::uint64_t found = 0;
        if (n >= 8) {
            for (std::size_t i = 0; i + 8 < n; i += 8) found |= flagged(load(i, std::uint64_t{}));
            found |= flagged(load(n - 8, std::uint64_t{}));
        } else if (n >= 4) {
            found = flagged(load(0, std::uint32_t{}) | load(n - 4, std::uint32_t{}) << 32);
        } else {
            for (std::size_t i = 0; i < n; ++i) found |= bytes[i] < 0x20 || bytes[i] == '^';
        }
        suspicious = found != 0;
    }
    if (!suspicious) return true;

    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t p = 0;
    while (p < size) {
        const std::size_t step = kCleanStep[data[p]];
        if (step != 0) {
            p += step;
            continue;
        }
        if (data[p] < 0x20) return false;
        if (p + 1 < size && data[p + 1] == 'm') return false;  // "^m"
        ++p;
    }
    return true;
}

std::string UpperSjis(std::string_view text) {
    std::string out(text);
    for (std::size_t p = 0; p < out.size(); ++p) {
        const auto b = static_cast<unsigned char>(out[p]);
        if (IsSjisLeadByte(b)) {
            ++p;
        } else if (b >= 'a' && b <= 'z') {
            out[p] = static_cast<char>(b - 'a' + 'A');
        }
    }
    return out;
}

}  // namespace quellmark
