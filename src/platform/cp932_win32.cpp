// One CP932 character decoded by Windows' own code page tables.
#include "cp932_decoder.h"

#include <windows.h>

namespace quellmark {

struct Cp932Decoder::State {};

Cp932Decoder::Cp932Decoder() = default;
Cp932Decoder::~Cp932Decoder() = default;

bool Cp932Decoder::decode(std::string_view character, std::string& out) {
    wchar_t wide[4];
    const int n =
        ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, character.data(), static_cast<int>(character.size()), wide, 4);
    if (n <= 0) return false;
    char utf8[16];
    const int m = ::WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, nullptr, nullptr);
    if (m <= 0) return false;
    out.append(utf8, static_cast<std::size_t>(m));
    return true;
}

}  // namespace quellmark
