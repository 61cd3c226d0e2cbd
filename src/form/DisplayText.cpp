// CP932 decoding for display, character by character through the C library's iconv.
#include "DisplayText.h"

#include "../drawing/Func_.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace quellmark {

namespace {

// Decodes one CP932 character (one or two bytes) to UTF-8; false when it is not one.
class Cp932Decoder {
public:
#ifdef _WIN32
    bool decode(std::string_view ch, std::string& out) {
        wchar_t wide[4];
        int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, ch.data(), static_cast<int>(ch.size()),
                                    wide, 4);
        if (n <= 0) return false;
        char utf8[16];
        int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, nullptr, nullptr);
        if (m <= 0) return false;
        out.append(utf8, static_cast<std::size_t>(m));
        return true;
    }
#else
    Cp932Decoder() : cd_(iconv_open("UTF-8", "CP932")) {}
    ~Cp932Decoder() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;

    bool decode(std::string_view ch, std::string& out) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        char in[2];
        ch.copy(in, ch.size());
        char utf8[16];
        char* inPtr = in;
        char* outPtr = utf8;
        std::size_t inLeft = ch.size();
        std::size_t outLeft = sizeof utf8;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
            inLeft != 0) {
            return false;
        }
        out.append(utf8, static_cast<std::size_t>(outPtr - utf8));
        return true;
    }

private:
    iconv_t cd_;
#endif
};

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
        const std::size_t width = IsSjisLeadByte(b) && p + 1 < sjis.size() ? 2 : 1;
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
