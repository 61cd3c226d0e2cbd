// Recognising drawings by extension and signature, and reading a recognised one whole.
#include "recognise.h"

#include "../platform/system.h"

#include <algorithm>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

std::string_view SignatureOf(DrawingFormat format) {
    return format == DrawingFormat::Jww ? kJwwSignature : format == DrawingFormat::Jws ? kJwsSignature : "";
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view signature) {
    return bytes.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), bytes.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

void Set(Failure* failure, FailureKind kind, std::string detail, std::error_code ec = {}) {
    if (failure) *failure = MakeFailure(kind, std::move(detail), -1, Section::None, ec);
}

void SetOpenFailure(Failure* failure, std::error_code ec) {
    if (ec == std::errc::is_a_directory) {
        Set(failure, FailureKind::CannotRead, "is a folder, not a drawing", ec);
    } else if (ec == std::errc::operation_not_supported) {
        Set(failure, FailureKind::CannotRead, "is not a regular file", ec);
    } else {
        Set(failure, FailureKind::CannotRead, "cannot open: " + ErrorText(ec), ec);
    }
}

// Reads until the span is full or the file ends; the bytes read in `got`.
std::error_code ReadFully(InputFile& in, std::span<std::uint8_t> bytes, std::size_t& got) {
    got = 0;
    while (got < bytes.size()) {
        std::size_t n = 0;
        if (auto ec = in.read(bytes.subspan(got), n)) return ec;
        if (n == 0) break;
        got += n;
    }
    return {};
}

}  // namespace

const char* FormatName(DrawingFormat format) {
    switch (format) {
        case DrawingFormat::Jww: return "JWW";
        case DrawingFormat::Jws: return "JWS";
        case DrawingFormat::None: return "";
    }
    return "";
}

std::string UpperExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string ext(name.substr(dot));
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return ext;
}

DrawingFormat FormatOfName(const fs::path& path) {
    const std::string ext = UpperExtension(PathText(path.filename()));
    return ext == ".JWW" ? DrawingFormat::Jww : ext == ".JWS" ? DrawingFormat::Jws : DrawingFormat::None;
}

DrawingFormat FormatOfBytes(std::span<const std::uint8_t> head) {
    if (StartsWith(head, kJwwSignature)) return DrawingFormat::Jww;
    if (StartsWith(head, kJwsSignature)) return DrawingFormat::Jws;
    return DrawingFormat::None;
}

bool ReadDrawing(FileSystem& files, const fs::path& path, DrawingFormat wanted, FileBytes& out, DrawingRead& read,
                 Failure* failure) {
    read = {};
    out.clear();
    std::unique_ptr<InputFile> in;
    if (auto ec = files.openRead(path, in)) {
        SetOpenFailure(failure, ec);
        return false;
    }
    std::uint8_t head[8];
    std::size_t got = 0;
    if (auto ec = ReadFully(*in, head, got)) {
        Set(failure, FailureKind::CannotRead, "cannot read: " + ErrorText(ec), ec);
        return false;
    }
    read.bytesRead = got;
    const DrawingFormat found = FormatOfBytes({head, got});
    if (found == DrawingFormat::None || (wanted != DrawingFormat::None && found != wanted)) {
        Set(failure, FailureKind::NotADrawing,
            wanted == DrawingFormat::None
                ? std::string("not a JWW or JWS drawing (no signature)")
                : "does not start with the " + std::string(FormatName(wanted)) + " signature");
        return false;
    }
    // The whole file in one buffer; a file that grew since it was opened is read as far as it
    // was then, one that shrank as far as it goes.
    const std::uint64_t size = std::max<std::uint64_t>(in->size(), got);
    if (size > out.max_size()) {
        Set(failure, FailureKind::TooLarge, "too large for memory (" + std::to_string(size) + " bytes)");
        return false;
    }
    try {
        // A worker reads drawing after drawing into this buffer: grown with room to spare, it is
        // seldom made anew, and the pages it has touched once need no fresh zeroed pages again.
        if (size > out.capacity()) {
            try {
                out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size + size / 2, out.max_size())));
            } catch (const std::bad_alloc&) {
                // no room to spare: the exact size below
            }
        }
        out.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        out = FileBytes();
        Set(failure, FailureKind::TooLarge, "too large for memory (" + std::to_string(size) + " bytes)");
        return false;
    }
    std::copy(head, head + got, out.begin());
    std::size_t rest = 0;
    if (auto ec = ReadFully(*in, std::span(out).subspan(got), rest)) {
        out.clear();
        Set(failure, FailureKind::CannotRead, "cannot read: " + ErrorText(ec), ec);
        return false;
    }
    out.resize(got + rest);
    read.format = found;
    read.bytesRead = out.size();
    read.file = std::move(in);
    return true;
}

bool HasSignature(FileSystem& files, const fs::path& path, DrawingFormat format) {
    std::unique_ptr<InputFile> in;
    if (files.openRead(path, in)) return false;
    std::uint8_t head[8];
    std::size_t got = 0;
    if (ReadFully(*in, head, got)) return false;
    return StartsWith({head, got}, SignatureOf(format));
}

}  // namespace quellmark
