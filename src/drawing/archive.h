// The object archive that follows the header of both drawing formats: length-prefixed strings,
// counts with a long form, and class tags that name a class in full once and by number after.
#pragma once

#include "bytes.h"
#include "jwtype.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quellmark {

inline constexpr std::size_t kMaxArchiveString = 65535;
// The fewest bytes a class tag takes (a class reference) and a count takes (the short form).
inline constexpr std::size_t kShortestClassTag = 2;
inline constexpr std::size_t kShortestCount = 2;
// A class reference is 0x8000 plus the class's archive index; from index 0x7FFF on it takes the
// long form, this word and then the index in 32 bits.
inline constexpr std::uint16_t kClassReferenceBase = 0x8000;
inline constexpr std::uint16_t kLongClassReference = 0x7FFF;

// Archive class names, indexed by class number 1..8.
std::string_view ArchiveClassName(int classNo);

// The length in front of an archive string as a writer gives it, into prefix; returns its bytes
// (1 up to 254, 3 from 255 on).
std::size_t ArchiveStringPrefix(std::size_t length, std::uint8_t (&prefix)[3]);
// A count as a writer gives it (2 bytes below 65535 and not negative, 6 otherwise), into bytes;
// returns how many.
std::size_t ArchiveCountBytes(std::int32_t count, std::uint8_t (&bytes)[6]);
// A class reference to the index as a writer gives it (2 bytes below 0x7FFF, 6 otherwise).
std::size_t ClassReferenceBytes(std::int32_t index, std::uint8_t (&bytes)[6]);
// The 6 bytes in front of a class's name in its new-class tag: 0xFFFF, the version's low 16
// bits, the name's length.
void NewClassTagHead(int classNo, std::int32_t version, std::uint8_t (&bytes)[6]);

std::string ReadArchiveString(ByteReader& in);
// Steps over an archive string without keeping it.
void SkipArchiveString(ByteReader& in);
// Throws DrawingError for a string longer than 65535 bytes, which the encoding cannot carry.
void WriteArchiveString(ByteWriter& out, std::string_view s);

std::int32_t ReadArchiveCount(ByteReader& in);
void WriteArchiveCount(ByteWriter& out, std::int32_t count);

// What a reader remembers while it walks one archive: the index each class received, and the
// running archive index shared by classes and objects.
struct ArchiveReaderState {
    std::array<std::int32_t, 9> ClassIndex{};  // by class number 1..8; 0 while not introduced
    std::int32_t Counter = 1;
    std::size_t MaxClassName = 2048;  // the longest class name the reader takes
    // The entity class introduced at each of the first archive indices (0: none), so the short
    // reference that precedes almost every entity is one lookup.
    static constexpr std::uint16_t kQuickIndices = 256;
    std::array<std::uint8_t, kQuickIndices> EntityClassAt{};
};

// Where a class tag stands decides what it may name: entity lists hold the seven entity
// classes only; in the block definition list every object is a block definition.
enum class TagPlace { EntityList, BlockDefinitionList };

// Reads one class tag. In an entity list returns the class number 1..7 and throws DrawingError
// for anything that names no entity class; in the block definition list returns 8.
int ReadClassTag(ByteReader& in, ArchiveReaderState& state, TagPlace place);

// ReadClassTag in an entity list, with the common case (a short reference to an entity class
// introduced early in the stream) taken inline.
inline int ReadEntityClassTag(ByteReader& in, ArchiveReaderState& state) {
    if (in.remaining() >= 2) {
        const std::uint16_t index = static_cast<std::uint16_t>(in.peekU16() - kClassReferenceBase);
        if (index < ArchiveReaderState::kQuickIndices && state.EntityClassAt[index] != 0) {
            in.skip(2);
            return state.EntityClassAt[index];
        }
    }
    return ReadClassTag(in, state, TagPlace::EntityList);
}

struct ArchiveWriterState {
    std::array<std::int32_t, 9> ClassIndex{};
    std::int32_t Counter = 1;
};

void WriteClassReference(ByteWriter& out, std::int32_t index);
// Writes the new-class tag the first time a class occurs in the stream, a reference afterwards.
void WriteClassTag(ByteWriter& out, ArchiveWriterState& state, int classNo, std::int32_t version);

// WriteClassTag with the common case (a class already in the stream, at an index the short
// reference reaches) taken inline.
inline void WriteEntityClassTag(ByteWriter& out, ArchiveWriterState& state, int classNo, std::int32_t version) {
    const std::int32_t index = state.ClassIndex[static_cast<std::size_t>(classNo)];
    if (index != 0 && index < kLongClassReference) {
        out.u16(static_cast<std::uint16_t>(kClassReferenceBase + index));
        return;
    }
    WriteClassTag(out, state, classNo, version);
}

}  // namespace quellmark
