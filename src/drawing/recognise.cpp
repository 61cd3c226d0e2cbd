// Recognising drawings by extension and signature, and reading a recognised one whole.
#include "recognise.h"

#include "../platform/system.h"
#include "bytes.h"

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

void SetReadFailure(Failure* failure, std::error_code ec) {
    Set(failure, FailureKind::CannotRead, "cannot read: " + ErrorText(ec), ec);
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

namespace {

// The first bytes looked at: the signature, and a JWW drawing's version after it.
constexpr std::size_t kHeadBytes = 12;
constexpr std::size_t kSameCheckPiece = std::size_t{1} << 20;

// The whole file into out: `head`, the bytes read so far, and the rest from where the reading
// stands, as far as the file went when it was opened (it may grow meanwhile), or as far as it
// goes.
bool ReadWhole(InputFile& in, std::span<const std::uint8_t> head, FileBytes& out, Failure* failure) {
    const std::uint64_t size = std::max<std::uint64_t>(in.size(), head.size());
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
    std::copy(head.begin(), head.end(), out.begin());
    std::size_t rest = 0;
    if (auto ec = ReadFully(in, std::span(out).subspan(head.size()), rest)) {
        out.clear();
        SetReadFailure(failure, ec);
        return false;
    }
    out.resize(head.size() + rest);
    return true;
}

// Whether the file, read again from its first byte, still holds exactly `bytes`.
std::error_code ReadsTheSame(InputFile& in, std::span<const std::uint8_t> bytes, bool& same) {
    same = false;
    if (auto ec = in.rewind()) return ec;
    // One byte more than the bytes can take tells a file that grew.
    std::vector<std::uint8_t> piece(std::min(kSameCheckPiece, bytes.size() + 1));
    std::size_t at = 0;
    for (;;) {
        std::size_t got = 0;
        if (auto ec = ReadFully(in, piece, got)) return ec;
        const auto read = std::span<const std::uint8_t>(piece).first(got);
        if (got > bytes.size() - at ||
            !std::equal(read.begin(), read.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at))) {
            return {};
        }
        at += got;
        if (got < piece.size()) break;
    }
    same = at == bytes.size();
    return {};
}

}  // namespace

std::string JwwVersionTooOld(std::int32_t version) {
    return "version " + std::to_string(version) + " is older than " + std::to_string(kJwwOldestVersion) +
           ", the oldest version this program reads";
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
    in->watchForChanges();
    std::uint8_t head[kHeadBytes];
    std::size_t got = 0;
    if (auto ec = ReadFully(*in, head, got)) {
        SetReadFailure(failure, ec);
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
    read.format = found;
    // A version no reader takes fails here, as the reader would fail it, before the rest is read.
    if (found == DrawingFormat::Jww && got == kHeadBytes) {
        read.version = ByteReader(std::span<const std::uint8_t>(head + kJwwSignature.size(), 4)).i32();
        if (read.version < kJwwOldestVersion) {
            if (failure) {
                *failure = MakeFailure(FailureKind::Malformed, JwwVersionTooOld(read.version),
                                       static_cast<std::int64_t>(kJwwSignature.size()), Section::Header);
            }
            return false;
        }
    }
    if (!ReadWhole(*in, {head, got}, out, failure)) return false;
    // The bytes are the file as it was at one moment when nothing wrote it while they were read.
    // Where the system cannot tell so, the file must read the same a second time; a file written
    // meanwhile is read once more.
    for (int round = 0;; ++round) {
        if (in->sinceOpened() == SinceOpened::Unchanged) {
            read.unchanged = true;
            break;
        }
        bool same = false;
        if (auto ec = ReadsTheSame(*in, out, same)) {
            out.clear();
            SetReadFailure(failure, ec);
            return false;
        }
        if (same) break;
        if (round == 1) {
            out.clear();
            Set(failure, FailureKind::CannotRead, "changed while it was read, twice: it is being written");
            return false;
        }
        if (auto ec = in->rewind()) {
            out.clear();
            SetReadFailure(failure, ec);
            return false;
        }
        if (!ReadWhole(*in, {}, out, failure)) return false;
    }
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
