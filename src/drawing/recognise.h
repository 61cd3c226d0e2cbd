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

// The oldest JWW version there is a reader for; the version follows the signature.
inline constexpr std::int32_t kJwwOldestVersion = 220;
// Why a JWW drawing of the version is not read (at the version's offset, in the header).
std::string JwwVersionTooOld(std::int32_t version);

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
    DrawingFormat format = DrawingFormat::None;  // once the signature was found
    std::int32_t version = 0;                    // a JWW drawing's, once its first bytes were read
    std::uint64_t bytesRead = 0;                 // the bytes read of the file, also when it was no drawing
    std::unique_ptr<InputFile> file;             // the file read, still open, after a read that succeeded
    // The system tells that nothing wrote the file since it was opened: what a copy made inside
    // the system takes from it is what was read, as long as file->sinceOpened() says so.
    bool unchanged = false;
};

// Opens the file and looks at its first bytes: when they carry the signature of `wanted` (of
// either format for None), and a JWW version some reader takes, reads the whole file into out
// and returns true with the format. The bytes are the file as it was at one moment: where the
// system cannot tell that nothing wrote the file meanwhile, it is read a second time and must
// give the same bytes (once more, should it not). Otherwise false: with a NotADrawing failure
// when the file holds something else, Malformed for a version too old, CannotRead when it cannot
// be opened or read or keeps changing while it is read, TooLarge when its bytes do not fit in
// memory.
[[nodiscard]] bool ReadDrawing(FileSystem& fs, const std::filesystem::path& path, DrawingFormat wanted, FileBytes& out,
                               DrawingRead& read, Failure* failure);

// True when the file can be read and starts with the format's signature.
[[nodiscard]] bool HasSignature(FileSystem& fs, const std::filesystem::path& path, DrawingFormat format);

}  // namespace quellmark
