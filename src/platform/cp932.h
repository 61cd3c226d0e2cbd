// Shift-JIS (code page 932) drawing text made readable for a terminal or a window: decoded to
// UTF-8, with control bytes and undecodable bytes shown as escapes. The decoding itself is the
// system's (iconv, or MultiByteToWideChar on Windows).
#pragma once

#include <string>
#include <string_view>

namespace quellmark {

// "\n", "\t", "\r" and "\xNN" stand for control bytes and for bytes that are no CP932 character.
std::string Cp932ToDisplayUtf8(std::string_view sjis);

// Decodes CP932 to UTF-8 without escaping; undecodable bytes become U+FFFD.
std::string Cp932ToUtf8(std::string_view sjis);

}  // namespace quellmark
