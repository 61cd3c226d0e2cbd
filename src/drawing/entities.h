// Entity bodies and entity lists: reading them into a collection, writing a collection back with
// the normalisation of common attributes, and the shared state of one stream.
#pragma once

#include "archive.h"
#include "bytes.h"
#include "jwtype.h"

#include <cstdint>

namespace quellmark {

// Everything one pass of reading an archive needs: the bytes, the drawing's version, and the
// class table and archive index that run through the whole stream.
struct StreamReader {
    ByteReader& in;
    std::int32_t version;
    ArchiveReaderState archive;
};

// How text entities are written: JWW keeps an image reference as it is, JWS shortens
// "^@BM%temp%name,..." to "^@BM name,...".
enum class TextRule { Keep, ShortenImageReference };

struct StreamWriter {
    ByteWriter& out;
    std::int32_t version;
    TextRule textRule = TextRule::Keep;
    ArchiveWriterState archive;
};

TEntBase ReadCommonAttributes(ByteReader& in, std::int32_t version);
// Writes a normalised copy of the attributes for the given class number; base is not changed.
void WriteCommonAttributes(ByteWriter& out, std::int32_t version, int classNo,
                           const TEntBase& base);
// The normalisation alone: pen style and colour remapped below version 420, values outside the
// valid ranges replaced.
TEntBase NormalizeCommonAttributes(TEntBase base, std::int32_t version, int classNo);

// Reads count tagged entities into the collection (count <= 0 reads nothing). Throws
// DrawingError on a short read, an unknown class, or a count the bytes left cannot hold.
void ReadEntitySequence(StreamReader& stream, TEntityCollection& target, std::int32_t count);

// Reads the archive count and the entities of the drawing's top-level list; returns the count.
std::int32_t ReadEntityList(StreamReader& stream, TEntityCollection& target);

// Writes the entities of the index list in order. Entries of no entity class are not written.
void WriteEntitySequence(StreamWriter& stream, const TEntityCollection& source);

// How many entities WriteEntitySequence writes for the collection.
std::int32_t WrittenEntityCount(const TEntityCollection& source);

// Writes drawing text (names, font names, texts) cleaned for writing.
void WriteDrawingText(ByteWriter& out, std::string_view text);

// Writes the number of entities the collection holds, then the entities.
void WriteEntityList(StreamWriter& stream, const TEntityCollection& source);

}  // namespace quellmark
