// Reading and writing block definitions with their members.
#include "blocks.h"

namespace quellmark {

namespace {

// The fewest bytes a block definition can take: tag, 13 bytes of attributes, number, flag,
// time stamp, an empty name and a zero member count.
constexpr std::size_t kMinBlockDefBytes = 2 + 13 + 12 + 1 + 2;

}  // namespace

std::int32_t ReadBlockDefinitionList(StreamReader& stream, std::vector<TEntBlockDef>& blocks) {
    ByteReader& in = stream.in;
    in.setSection(Section::BlockDefinitions);
    const std::int32_t count = ReadArchiveCount(in);
    if (count <= 0) return 0;
    if (static_cast<std::size_t>(count) > in.remaining() / kMinBlockDefBytes) {
        in.fail("block definition count " + std::to_string(count) + " is more than the " +
                std::to_string(in.remaining()) + " bytes left can hold");
    }
    blocks.reserve(static_cast<std::size_t>(count));
    for (std::int32_t n = 1; n <= count; ++n) {
        ReadClassTag(in, stream.archive, TagPlace::BlockDefinitionList);
        TEntBlockDef& def = blocks.emplace_back();
        def.Base = ReadCommonAttributes(in, stream.version);
        def.Number = in.i32();
        def.Referenced = in.i32();
        def.TimeStamp = in.i32();
        if (def.TimeStamp < 0) {
            // A negative stamp carries an 8-byte extension; the definition's position replaces it.
            in.skip(8);
            def.TimeStamp = n;
        }
        def.Name = ReadArchiveString(in);
        const std::int32_t members = ReadArchiveCount(in);
        ++stream.archive.Counter;
        ReadEntitySequence(stream, def.Members, members);
    }
    return count;
}

void WriteBlockDefinitionList(StreamWriter& stream, const std::vector<TEntBlockDef>& blocks) {
    ByteWriter& out = stream.out;
    WriteArchiveCount(out, static_cast<std::int32_t>(blocks.size()));
    std::int32_t position = 0;
    for (const TEntBlockDef& def : blocks) {
        ++position;
        WriteClassTag(out, stream.archive, kClassList, stream.version);
        WriteCommonAttributes(out, stream.version, kClassList, def.Base);
        out.i32(def.Number);
        out.i32(def.Referenced);
        // No extension is ever written, so a negative stamp would not read back; it is written
        // as the position, which is what reading it would have given.
        out.i32(def.TimeStamp < 0 ? position : def.TimeStamp);
        WriteDrawingText(out, def.Name);
        WriteArchiveCount(out, WrittenEntityCount(def.Members));
        ++stream.archive.Counter;
        WriteEntitySequence(stream, def.Members);
    }
}

}  // namespace quellmark
