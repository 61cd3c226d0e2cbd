// Reading and writing block definitions with their members.
#include "blocks.h"

#include "scan.h"

namespace quellmark {

namespace {

constexpr std::size_t kTimeStampExtension = 8;

constexpr auto BlockDefinitionAttributeFields = [](auto& io, auto& base) { CommonAttributes(io, base, kClassList); };

// A block definition up to its member count. A negative time stamp is read with an 8-byte
// extension and replaced by the definition's position (1 for the first); since no extension is
// ever written, a negative stamp is written as the position too, which is what reading it back
// would give.
constexpr auto BlockDefinitionFields = [](auto& io, auto& def, std::int32_t position) {
    io.piece(def.Base, BlockDefinitionAttributeFields);
    io.i32(def.Number);
    io.i32(def.Referenced);
    io.i32(def.TimeStamp, WriteRule<ChangeKind::TimeStampRewritten>(
                              [position](std::int32_t stamp, std::int32_t) { return stamp < 0 ? position : stamp; }));
    if constexpr (kReading<decltype(io)>) {
        if (def.TimeStamp < 0) {
            io.skip(kTimeStampExtension, ChangeKind::TimeStampRewritten);
            def.TimeStamp = position;
        }
    }
    io.text(def.Name, TextName{});
};

// The fewest bytes a block definition can take: a class reference, its fields with an empty
// name, and a zero member count.
constexpr std::size_t kMinBlockDefBytes =
    kShortestClassTag + SizeOf<TEntBlockDef>([](auto& io, auto& def) { BlockDefinitionFields(io, def, 0); }, 0) +
    kShortestCount;

void CheckBlockDefinitionCount(const ByteReader& in, std::int32_t count) {
    if (static_cast<std::size_t>(count) > in.remaining() / kMinBlockDefBytes) {
        in.fail("block definition count " + std::to_string(count) + " is more than the " +
                std::to_string(in.remaining()) + " bytes left can hold");
    }
}

}  // namespace

std::int32_t ReadBlockDefinitionList(StreamReader& stream, std::vector<TEntBlockDef>& blocks) {
    ByteReader& in = stream.in;
    in.setSection(Section::BlockDefinitions);
    const std::int32_t count = ReadArchiveCount(in);
    if (count <= 0) return 0;
    CheckBlockDefinitionCount(in, count);
    blocks.reserve(static_cast<std::size_t>(count));
    LayoutReader<ByteReader> io(in, stream.version);
    for (std::int32_t n = 1; n <= count; ++n) {
        ReadClassTag(in, stream.archive, TagPlace::BlockDefinitionList);
        TEntBlockDef& def = blocks.emplace_back();
        BlockDefinitionFields(io, def, n);
        const std::int32_t members = ReadArchiveCount(in);
        ++stream.archive.Counter;
        ReadEntitySequence(stream, def.Members, members);
    }
    return count;
}

std::int32_t ScanBlockDefinitionList(StreamScanner& stream) {
    ByteReader& in = stream.in;
    in.setSection(Section::BlockDefinitions);
    const std::int32_t count = ScanArchiveCount(in, stream.state);
    if (count <= 0) return 0;
    CheckBlockDefinitionCount(in, count);
    LayoutScanner<ByteReader> io(in, stream.version, stream.state);
    for (std::int32_t n = 1; n <= count; ++n) {
        ScanClassTag(stream, TagPlace::BlockDefinitionList);
        TEntBlockDef def;
        BlockDefinitionFields(io, def, n);
        const std::int32_t members = ScanArchiveCount(in, stream.state);
        ++stream.archive.Counter;
        ++stream.written.Counter;
        ScanEntitySequence(stream, members);
    }
    return count;
}

void WriteBlockDefinitionList(StreamWriter& stream, const std::vector<TEntBlockDef>& blocks) {
    ByteWriter& out = stream.out;
    WriteArchiveCount(out, static_cast<std::int32_t>(blocks.size()));
    LayoutWriter<ByteWriter> io(out, stream.version);
    std::int32_t position = 0;
    for (const TEntBlockDef& def : blocks) {
        ++position;
        WriteClassTag(out, stream.archive, kClassList, stream.version);
        BlockDefinitionFields(io, def, position);
        WriteArchiveCount(out, WrittenEntityCount(def.Members));
        ++stream.archive.Counter;
        WriteEntitySequence(stream, def.Members);
    }
}

}  // namespace quellmark
