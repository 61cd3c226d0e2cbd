// The system's decoder of one CP932 character, for cp932.cpp; one file per system implements it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quellmark {

class Cp932Decoder {
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;

    // Appends one CP932 character (one or two bytes) as UTF-8; false when it is not one.
    bool decode(std::string_view character, std::string& out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quellmark
