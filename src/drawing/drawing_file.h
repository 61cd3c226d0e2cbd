// What the JWW and JWS file operations share: a drawing read whole with one read, a signature
// test on the first bytes, and a drawing written through a buffer into a file that is removed
// again when anything fails.
#pragma once

#include "bytes.h"
#include "error.h"
#include "fs.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace quellmark {

// Reads the whole file. On failure fills failure (CannotRead: "cannot open: ...", "is a folder")
// and returns false.
bool ReadDrawingBytes(FileSystem& fs, const std::filesystem::path& path, FileBytes& out,
                      Failure* failure);

// True when the file can be read and starts with the signature.
bool HasSignature(FileSystem& fs, const std::filesystem::path& path, std::string_view signature);

struct WriteSettings {
    bool sync = false;       // push the file to the device before closing it
    bool exclusive = false;  // fail rather than replace a file that is already there
    std::uint64_t* bytesWritten = nullptr;  // receives the size of the file written
    // How a failure to create the file names it ("a temporary file beside A.JWW"); empty: the
    // file's own name.
    std::string shownName;
};

// Creates (or replaces) the file and lets body write the drawing into it. On any failure the
// file is closed and removed, failure says why, and the result is false. Never throws.
bool WriteDrawingFile(FileSystem& fs, const std::filesystem::path& path, WriteSettings settings,
                      const std::function<void(ByteWriter&)>& body, Failure* failure);

// Runs a reading step and turns what it throws into a Failure; true when it ran through.
bool CatchDrawingFailure(const std::function<void()>& step, Failure* failure);

}  // namespace quellmark
