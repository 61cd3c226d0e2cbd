// One CP932 character decoded by the C library's iconv.
#include "cp932_decoder.h"

#include <iconv.h>

namespace quellmark {

struct Cp932Decoder::State {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    ~State() {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
};

Cp932Decoder::Cp932Decoder() : state_(std::make_unique<State>()) {}
Cp932Decoder::~Cp932Decoder() = default;

bool Cp932Decoder::decode(std::string_view character, std::string& out) {
    const iconv_t cd = state_->cd;
    if (cd == reinterpret_cast<iconv_t>(-1) || character.size() > 2) return false;
    char in[2];
    character.copy(in, character.size());
    char utf8[16];
    char* inPtr = in;
    char* outPtr = utf8;
    std::size_t inLeft = character.size();
    std::size_t outLeft = sizeof utf8;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) return false;
    out.append(utf8, static_cast<std::size_t>(outPtr - utf8));
    return true;
}

}  // namespace quellmark
