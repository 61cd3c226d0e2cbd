// The scan's edits against the full reader and writer. For every drawing at hand (the fuzz seeds,
// random drawings of every version, the bundled examples, and the fuzz corpus where a fuzz run
// left one) the scan and the full path agree on success, on the failure's kind, offset and
// section, and on the dimensions counted and marked; the source with the scan's edits applied is,
// byte for byte, what the full path writes; and every kind of edit is counted for the user.
#include "seeds.h"
#include "testkit.h"

#include "drawing/dimensions.h"
#include "drawing/scan.h"

#include <fstream>

using namespace qmtest;
using namespace quellmark;

namespace {

struct FullPath {
    bool ok = false;
    Failure failure;
    DimensionTally tally;
    Bytes out;
};

Bytes Written(const std::function<void(ByteWriter&)>& write) {
    MemorySink sink;
    ByteWriter out(sink);
    write(out);
    out.flush();
    return std::move(sink.data);
}

FullPath Convert(const Bytes& bytes, DrawingFormat format, ImageStore& images) {
    FullPath full;
    if (format == DrawingFormat::Jww) {
        JwwDocument doc;
        full.ok = ReadJwwBytes(doc, images, bytes, &full.failure);
        if (full.ok) {
            full.tally = AddDimensionAttributes(doc, doc.Header.Version);
            full.out = Written([&](ByteWriter& out) { WriteJwwStream(out, doc, images, doc.Header.Version); });
        }
        DeleteTempImages(images);
        ClearImageList(images);
    } else {
        JwsDocument doc;
        full.ok = ReadJwsBytes(doc, bytes, &full.failure);
        if (full.ok) {
            full.tally = AddDimensionAttributes(doc, doc.Header.Version);
            full.out = Written([&](ByteWriter& out) { WriteJwsStream(out, doc, doc.Header.Version); });
        }
    }
    return full;
}

class CopyThrough : public ::testing::Test {
protected:
    void SetUp() override { images.TempFolder = dir.path(); }

    // Both paths on one drawing; returns whether the scan took copy-through.
    bool Compare(const std::string& name, const Bytes& bytes, DrawingFormat format) {
        SCOPED_TRACE(name);
        const FullPath full = Convert(bytes, format, images);
        DrawingScan scan;
        Failure failure;
        const bool ok =
            format == DrawingFormat::Jww ? ScanJwwBytes(bytes, scan, &failure) : ScanJwsBytes(bytes, scan, &failure);
        EXPECT_EQ(ok, full.ok) << (ok ? full.failure.message() : failure.message());
        if (!ok || !full.ok) {
            if (!ok && !full.ok) {
                EXPECT_EQ(failure.kind, full.failure.kind);
                EXPECT_EQ(failure.offset, full.failure.offset);
                EXPECT_EQ(failure.section, full.failure.section);
                EXPECT_EQ(failure.detail, full.failure.detail);
            }
            ++failed;
            return false;
        }
        EXPECT_EQ(scan.tally.dimensions, full.tally.dimensions);
        EXPECT_EQ(scan.tally.marked, full.tally.marked);
        EXPECT_TRUE(ApplyEdits(bytes, scan.patches, scan.edits) == full.out) << "the edits give other bytes";
        for (const Edit& edit : scan.edits.edits()) {
            EXPECT_GT(scan.changes[edit.kind], 0) << ChangeKindName(edit.kind) << " is not told";
        }
        EXPECT_EQ(scan.changes.normalised(), !scan.edits.empty());
        ++(scan.edits.empty() ? marksOnly : normalised);
        return scan.edits.empty();
    }

    void CompareFolder(const fs::path& folder, int formatByte) {
        if (!fs::is_directory(folder)) return;
        for (const auto& entry : fs::directory_iterator(folder)) {
            Bytes bytes = ReadFile(entry.path());
            DrawingFormat format = formatByte == 0 ? DrawingFormat::Jww : DrawingFormat::Jws;
            if (formatByte < 0) {  // the round trip's inputs carry the format in their first byte
                if (bytes.empty()) continue;
                format = bytes[0] % 2 == 0 ? DrawingFormat::Jww : DrawingFormat::Jws;
                bytes.erase(bytes.begin());
            }
            Compare(entry.path().filename().string(), bytes, format);
        }
    }

    TempDir dir;
    ImageStore images{RealFileSystem()};
    int marksOnly = 0, normalised = 0, failed = 0;
};

TEST_F(CopyThrough, TheSeedsAndRandomDrawingsOfEveryVersion) {
    for (const Seed& seed : JwwSeeds()) Compare(seed.name, seed.bytes, DrawingFormat::Jww);
    for (const Seed& seed : JwsSeeds()) Compare(seed.name, seed.bytes, DrawingFormat::Jws);
    for (std::int32_t version : {220, 230, 300, 351, 420, 600, 700}) {
        for (std::uint64_t seed = 1; seed <= 6; ++seed) {
            RandomDrawing rnd(seed * 1000 + static_cast<std::uint64_t>(version));
            JwwPlan plan;
            plan.version = version;
            plan.seed = seed;
            plan.entities = rnd.entities(40);
            plan.blocks = {rnd.block(1, 5), rnd.block(2, 0)};
            Compare("random JWW " + std::to_string(version), BuildJww(plan), DrawingFormat::Jww);
            JwsPlan jws;
            jws.version = version;
            jws.seed = seed;
            jws.entities = rnd.entities(30);
            Compare("random JWS " + std::to_string(version), BuildJws(jws), DrawingFormat::Jws);
        }
    }
    // The seeds hold both kinds: drawings the writers normalise, and ones they only mark.
    EXPECT_GT(marksOnly, 20);
    EXPECT_GT(normalised, 10);
}

// The archive's encodings that a reader takes and a writer never makes: each one is an edit.
TEST_F(CopyThrough, EncodingsOnlyAReaderTakes) {
    JwwPlan plan;
    plan.version = 600;
    plan.entities = {Line{}, Line{}, Dimension{}};
    JwwLayout layout;
    const Bytes clean = BuildJww(plan, &layout);
    ASSERT_TRUE(Compare("as a writer makes it", clean, DrawingFormat::Jww));
    const std::size_t list = layout.entityList;  // the count, then the first line's new-class tag

    Bytes schema = clean;  // another version in the first new-class tag's schema word
    PatchU16(schema, list + 2 + 2, 300);
    EXPECT_FALSE(Compare("schema word", schema, DrawingFormat::Jww));

    Bytes longCount = clean;  // the count in its long form
    longCount.erase(longCount.begin() + static_cast<std::ptrdiff_t>(list),
                    longCount.begin() + static_cast<std::ptrdiff_t>(list) + 2);
    const Bytes longForm = {0xFF, 0xFF, 3, 0, 0, 0};
    longCount.insert(longCount.begin() + static_cast<std::ptrdiff_t>(list), longForm.begin(), longForm.end());
    EXPECT_FALSE(Compare("long count", longCount, DrawingFormat::Jww));

    // The second line's class named again instead of referred to.
    Bytes again = clean;
    const std::size_t firstTag = list + 2;
    const std::size_t tagBytes = 6 + std::string("CDataSen").size();
    const std::size_t lineBytes = ReadU16(clean, firstTag) == 0xFFFF ? tagBytes + 13 + 2 + 32 : 0;
    ASSERT_GT(lineBytes, 0u);
    const std::size_t secondTag = firstTag + lineBytes;
    ASSERT_EQ(ReadU16(again, secondTag), 0x8001);
    again.erase(again.begin() + static_cast<std::ptrdiff_t>(secondTag),
                again.begin() + static_cast<std::ptrdiff_t>(secondTag) + 2);
    again.insert(again.begin() + static_cast<std::ptrdiff_t>(secondTag),
                 clean.begin() + static_cast<std::ptrdiff_t>(firstTag),
                 clean.begin() + static_cast<std::ptrdiff_t>(firstTag + tagBytes));
    EXPECT_FALSE(Compare("class named again", again, DrawingFormat::Jww));
}

TEST_F(CopyThrough, TheExamplesAndTheFuzzCorpus) {
    for (const auto& entry : fs::directory_iterator(QUELLMARK_SOURCE_DIR "/examples")) {
        const DrawingFormat format = FormatOfName(entry.path());
        if (format != DrawingFormat::None) Compare(entry.path().filename().string(), ReadFile(entry.path()), format);
    }
    EXPECT_EQ(failed, 1);  // broken.jww
    CompareFolder(QUELLMARK_SOURCE_DIR "/fuzz/corpus-fuzz_read_jww", 0);
    CompareFolder(QUELLMARK_SOURCE_DIR "/fuzz/corpus-fuzz_read_jws", 1);
    CompareFolder(QUELLMARK_SOURCE_DIR "/fuzz/corpus-fuzz_roundtrip", -1);
    CompareFolder(QUELLMARK_SOURCE_DIR "/fuzz/corpus-fuzz_copy_through", -1);
}

}  // namespace
