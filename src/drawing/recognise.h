// Telling a drawing from any other file: its name's extension says which format it should be,
// and its first bytes, the format's signature, say whether it is. A file is recognised from
// those first bytes before the rest is read, so a large file that merely has a drawing's name
// is never read whole.
#pragma once

#include "../platform/files.h"
#include "error.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace quellmark {

enum class DrawingFormat { None, Jww, Jws };

inline constexpr std::string_view kJwwSignature = "JwwData.";
inline constexpr std::string_view kJwsSignature = "JwsData";

// "JWW", "JWS"; "" for None.
const char* FormatName(DrawingFormat format);

// The extension of a file name from its last "." on, in upper case (ASCII letters only, so the
// bytes of a multi-byte name stay as they are); empty when the name has none.
std::string UpperExtension(std::string_view name);

// The format a file's name says it holds: ".jww" or ".jws" in any letter case.
DrawingFormat FormatOfName(const std::filesystem::path& path);

// The format whose signature the bytes start with.
DrawingFormat FormatOfBytes(std::span<const std::uint8_t> head);

// What ReadDrawing found.
struct DrawingRead {
    DrawingFormat format = DrawingFormat::None;
    std::uint64_t bytesRead = 0;  // the bytes read of the file, also when it was no drawing
    std::unique_ptr<InputFile> file;  // the file read, still open, after a read that succeeded
};

// Opens the file and looks at its first bytes: when they carry the signature of `wanted` (of
// either format for None), reads the whole file into out and returns true with the format.
// Otherwise false: with a NotADrawing failure when the file holds something else, CannotRead
// when it cannot be opened or read, TooLarge when its bytes do not fit in memory.
bool ReadDrawing(FileSystem& fs, const std::filesystem::path& path, DrawingFormat wanted, FileBytes& out,
                 DrawingRead& read, Failure* failure);

// True when the file can be read and starts with the format's signature.
bool HasSignature(FileSystem& fs, const std::filesystem::path& path, DrawingFormat format);

}  // namespace quellmark
