// Entity bodies and entity lists: reading them into a collection, writing a collection back with
// the normalisation of common attributes, and the shared state of one stream.
#pragma once

#include "archive.h"
#include "bytes.h"
#include "jwtype.h"
#include "layout.h"

#include <cstdint>

namespace quellmark {

struct StreamScanner;

// Everything one pass of reading an archive needs: the bytes, the drawing's version, and the
// class table and archive index that run through the whole stream.
struct StreamReader {
    ByteReader& in;
    std::int32_t version;
    ArchiveReaderState archive;
};

struct StreamWriter {
    ByteWriter& out;
    std::int32_t version;
    TextRule textRule = TextRule::Keep;
    ArchiveWriterState archive;
};

// The normalisation of common attributes on writing: pen style and colour remapped below
// version 420, values outside the valid ranges replaced.
TEntBase NormalizeCommonAttributes(TEntBase base, std::int32_t version, int classNo);

// The common attributes that start every entity body and block definition: 13 bytes, 15 from
// the version that added the pen width. A field the version does not carry stays 0 in a record
// read (records start at 0).
inline constexpr auto CommonAttributeFields = [](auto& io, auto& base) {
    io.i32(base.Group);
    io.u8(base.PenStyle);
    io.u16(base.PenColor);
    if (io.version >= kVersionPenWidth) io.u16(base.PenWidth);
    io.u16(base.Layer);
    io.u16(base.LayerGroup);
    io.u16(base.Flags);
};

// Whether NormalizeCommonAttributes gives the attributes back as they are: the question the
// scanning pass asks of every record, answered without making the copy.
bool KeepsCommonAttributes(const TEntBase& base, std::int32_t version, int classNo);

// The rule the common attributes of an object of the class are written by.
struct CommonAttributeRule {
    int classNo;
    TEntBase operator()(const TEntBase& base, std::int32_t version) const {
        return NormalizeCommonAttributes(base, version, classNo);
    }
    bool keeps(const TEntBase& base, std::int32_t version) const {
        return KeepsCommonAttributes(base, version, classNo);
    }
};

// The common attributes of an object of the class: written as a copy normalised for it.
template <class Io, class Base>
constexpr void CommonAttributes(Io& io, Base& base, int classNo) {
    io.record(base, CommonAttributeFields, CommonAttributeRule{classNo});
}

// Reads count tagged entities into the collection (count <= 0 reads nothing). Throws
// DrawingError on a short read, an unknown class, or a count the bytes left cannot hold.
void ReadEntitySequence(StreamReader& stream, TEntityCollection& target, std::int32_t count);

// Reads the archive count and the entities of the drawing's top-level list; returns the count.
std::int32_t ReadEntityList(StreamReader& stream, TEntityCollection& target);

// The scanning pass (scan.h): ScanEntitySequence walks count tagged entities as
// ReadEntitySequence reads them, with the same failures, noting what a writer would change and
// the flags words the marking sets; ScanEntityList does so for the top-level list and its count.
void ScanEntitySequence(StreamScanner& stream, std::int32_t count);
std::int32_t ScanEntityList(StreamScanner& stream);

// Writes the entities of the index list in order. Entries of no entity class are not written.
void WriteEntitySequence(StreamWriter& stream, const TEntityCollection& source);

// How many entities WriteEntitySequence writes for the collection.
std::int32_t WrittenEntityCount(const TEntityCollection& source);

// Writes the number of entities the collection holds, then the entities.
void WriteEntityList(StreamWriter& stream, const TEntityCollection& source);

}  // namespace quellmark
