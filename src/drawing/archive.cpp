// Archive strings, counts and class tags, read and written.
#include "archive.h"

#include <algorithm>
#include <cstdio>

namespace quellmark {

namespace {

constexpr std::array<std::string_view, 9> kClassNames = {
    "", "CDataSen", "CDataEnko", "CDataTen", "CDataMoji", "CDataSunpou", "CDataSolid",
    "CDataBlock", "CDataList"};

constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kLongCountMarker = 0xFFFF;

// A class name as it can appear in a message: printable ASCII kept, every other byte as \xNN,
// and long names cut.
std::string Printable(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size() && i < 64; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '\'') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (name.size() > 64) out += "...";
    return out;
}

}  // namespace

std::string_view ArchiveClassName(int classNo) {
    return classNo >= 1 && classNo <= 8 ? kClassNames[classNo] : std::string_view{};
}

namespace {

// One length byte below 255, or 255 followed by a 16-bit length.
std::size_t ReadArchiveStringLength(ByteReader& in) {
    std::size_t length = in.u8();
    if (length == 0xFF) length = in.u16();
    return length;
}

}  // namespace

std::string ReadArchiveString(ByteReader& in) { return in.takeString(ReadArchiveStringLength(in)); }

void SkipArchiveString(ByteReader& in) { in.skip(ReadArchiveStringLength(in)); }

namespace {

void PutU16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::uint8_t* at, std::uint32_t value) {
    const auto bytes = I32Bytes(static_cast<std::int32_t>(value));
    std::copy(bytes.begin(), bytes.end(), at);
}

}  // namespace

std::size_t ArchiveStringPrefix(std::size_t length, std::uint8_t (&prefix)[3]) {
    if (length <= 254) {
        prefix[0] = static_cast<std::uint8_t>(length);
        return 1;
    }
    prefix[0] = 0xFF;
    PutU16(prefix + 1, static_cast<std::uint16_t>(length));
    return 3;
}

void WriteArchiveString(ByteWriter& out, std::string_view s) {
    if (s.size() > kMaxArchiveString) {
        throw DrawingError(
            FailureKind::CannotWrite,
            "a string of " + std::to_string(s.size()) + " bytes is longer than a drawing can hold (65535)",
            static_cast<std::int64_t>(out.offset()));
    }
    std::uint8_t prefix[3];
    out.bytes(std::span<const std::uint8_t>(prefix, ArchiveStringPrefix(s.size(), prefix)));
    out.bytes(s);
}

std::int32_t ReadArchiveCount(ByteReader& in) {
    std::uint16_t shortCount = in.u16();
    if (shortCount == kLongCountMarker) return in.i32();
    return shortCount;
}

std::size_t ArchiveCountBytes(std::int32_t count, std::uint8_t (&bytes)[6]) {
    if (count >= 0 && count < kLongCountMarker) {
        PutU16(bytes, static_cast<std::uint16_t>(count));
        return 2;
    }
    PutU16(bytes, kLongCountMarker);
    PutU32(bytes + 2, static_cast<std::uint32_t>(count));
    return 6;
}

void WriteArchiveCount(ByteWriter& out, std::int32_t count) {
    std::uint8_t bytes[6];
    out.bytes(std::span<const std::uint8_t>(bytes, ArchiveCountBytes(count, bytes)));
}

int ReadClassTag(ByteReader& in, ArchiveReaderState& state, TagPlace place) {
    const std::size_t tagOffset = in.offset();
    const std::uint16_t tag = in.u16();

    if (tag == kNewClassTag) {
        in.u16();  // schema word: the version of the writer, not used
        const std::size_t nameLength = in.u16();
        if (nameLength > state.MaxClassName) {
            in.fail("class name of " + std::to_string(nameLength) + " bytes (at most " +
                        std::to_string(state.MaxClassName) + ")",
                    tagOffset);
        }
        const auto nameBytes = in.take(nameLength);
        const std::string_view name(reinterpret_cast<const char*>(nameBytes.data()),
                                    nameBytes.size());
        int classNo = 0;
        if (place == TagPlace::BlockDefinitionList) {
            classNo = kClassList;
        } else {
            for (int c = 1; c <= kEntityClassCount; ++c) {
                if (name == kClassNames[c]) classNo = c;
            }
            if (classNo == 0) in.fail("unknown class '" + Printable(name) + "'", tagOffset);
        }
        // A class named again takes a new index; its old one refers to nothing from now on.
        const std::int32_t old = state.ClassIndex[classNo];
        if (old > 0 && old < ArchiveReaderState::kQuickIndices) state.EntityClassAt[static_cast<std::size_t>(old)] = 0;
        if (classNo <= kEntityClassCount && state.Counter < ArchiveReaderState::kQuickIndices) {
            state.EntityClassAt[static_cast<std::size_t>(state.Counter)] = static_cast<std::uint8_t>(classNo);
        }
        state.ClassIndex[classNo] = state.Counter++;
        return classNo;
    }

    std::uint32_t index;
    if (tag == kLongClassReference) {
        index = in.u32() & 0x7FFFFFFFu;
    } else if (tag > kClassReferenceBase) {
        index = tag - kClassReferenceBase;
    } else {
        // 0x8000 refers to index 0, which nothing holds; a word below 0x7FFF would refer to an
        // earlier object, which this format never does.
        if (place == TagPlace::BlockDefinitionList) return kClassList;
        char word[8];
        std::snprintf(word, sizeof word, "0x%04X", tag);
        in.fail(std::string("invalid class tag ") + word, tagOffset);
    }
    if (place == TagPlace::BlockDefinitionList) return kClassList;
    if (index == 0) in.fail("reference to class index 0", tagOffset);

    for (int c = 1; c <= kEntityClassCount; ++c) {
        if (state.ClassIndex[c] == static_cast<std::int32_t>(index)) return c;
    }
    if (state.ClassIndex[kClassList] == static_cast<std::int32_t>(index)) {
        in.fail("a block definition where an entity belongs", tagOffset);
    }
    in.fail("reference to class index " + std::to_string(index) + " that no class holds",
            tagOffset);
}

std::size_t ClassReferenceBytes(std::int32_t index, std::uint8_t (&bytes)[6]) {
    if (index < kLongClassReference) {
        PutU16(bytes, static_cast<std::uint16_t>(kClassReferenceBase + index));
        return 2;
    }
    PutU16(bytes, kLongClassReference);
    PutU32(bytes + 2, static_cast<std::uint32_t>(index) | 0x80000000u);
    return 6;
}

void NewClassTagHead(int classNo, std::int32_t version, std::uint8_t (&bytes)[6]) {
    PutU16(bytes, kNewClassTag);
    PutU16(bytes + 2, static_cast<std::uint16_t>(version));
    PutU16(bytes + 4, static_cast<std::uint16_t>(kClassNames[static_cast<std::size_t>(classNo)].size()));
}

void WriteClassReference(ByteWriter& out, std::int32_t index) {
    std::uint8_t bytes[6];
    out.bytes(std::span<const std::uint8_t>(bytes, ClassReferenceBytes(index, bytes)));
}

void WriteClassTag(ByteWriter& out, ArchiveWriterState& state, int classNo,
                   std::int32_t version) {
    if (state.ClassIndex[classNo] != 0) {
        WriteClassReference(out, state.ClassIndex[classNo]);
        return;
    }
    std::uint8_t head[6];
    NewClassTagHead(classNo, version, head);
    out.bytes(std::span<const std::uint8_t>(head, 6));
    out.bytes(kClassNames[static_cast<std::size_t>(classNo)]);
    state.ClassIndex[classNo] = state.Counter++;
}

}  // namespace quellmark
