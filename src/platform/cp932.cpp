// CP932 text for display, character by character through the system's decoder.
#include "cp932.h"

#include "cp932_decoder.h"

#include <cstdio>

namespace quellmark {

namespace {

// The first byte of a two-byte character, as the drawings' own text routines take it.
constexpr bool IsLeadByte(unsigned char b) { return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD); }

void Escape(unsigned char b, std::string& out) {
    switch (b) {
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        case '\\': out += "\\\\"; return;
        default: {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
}

template <typename OnBad>
std::string Decode(std::string_view sjis, bool escapeControls, OnBad onBad) {
    Cp932Decoder decoder;
    std::string out;
    out.reserve(sjis.size() * 3 / 2);
    std::size_t p = 0;
    while (p < sjis.size()) {
        const auto b = static_cast<unsigned char>(sjis[p]);
        if (b < 0x80) {
            if (escapeControls && (b < 0x20 || b == 0x7F || b == '\\')) {
                Escape(b, out);
            } else {
                out += static_cast<char>(b);
            }
            ++p;
            continue;
        }
        const std::size_t width = IsLeadByte(b) && p + 1 < sjis.size() ? 2 : 1;
        if (decoder.decode(sjis.substr(p, width), out)) {
            p += width;
        } else {
            onBad(b, out);
            ++p;
        }
    }
    return out;
}

}  // namespace

std::string Cp932ToDisplayUtf8(std::string_view sjis) { return Decode(sjis, true, Escape); }

std::string Cp932ToUtf8(std::string_view sjis) {
    return Decode(sjis, false, [](unsigned char, std::string& out) { out += "\xEF\xBF\xBD"; });
}

}  // namespace quellmark
