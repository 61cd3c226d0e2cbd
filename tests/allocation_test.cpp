// How much memory reading can take: for drawings made to cost the most memory per byte, and for
// hostile counts and lengths, the reader never holds more than a small multiple of the file.
#include "testkit.h"

#include "convert/batch.h"
#include "drawing/drawing_file.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Live heap bytes of this process and their peak, kept by the replaced operator new and delete.
std::atomic<std::int64_t> gLive{0};
std::atomic<std::int64_t> gPeak{0};

// A test can make allocations past this many live bytes fail, as a machine out of memory does.
std::atomic<std::int64_t> gLimit{-1};

void* Allocate(std::size_t size) {
    if (const std::int64_t limit = gLimit.load();
        limit >= 0 && gLive.load() + static_cast<std::int64_t>(size) > limit) {
        throw std::bad_alloc();
    }
    void* p = std::malloc(size + 16);
    if (!p) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = size;
    const std::int64_t live = gLive += static_cast<std::int64_t>(size);
    std::int64_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(p) + 16;
}

void Release(void* p) {
    if (!p) return;
    char* block = static_cast<char*>(p) - 16;
    gLive -= static_cast<std::int64_t>(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

using namespace quellmark;
using namespace qmtest;

namespace {

// The most the reader may hold while reading a file of this size.
std::int64_t Allowed(std::size_t fileSize) { return 12 * static_cast<std::int64_t>(fileSize) + (1 << 20); }

// Peak heap bytes above what was live before, while reading.
std::int64_t PeakWhileReading(const Bytes& bytes, bool jws) {
    const std::int64_t before = gLive.load();
    gPeak = before;
    if (jws) {
        JwsDocument doc;
        (void)ReadJwsBytes(doc, bytes, nullptr);  // only its peak counts, failing or not
    } else {
        JwwDocument doc;
        ImageStore images{RealFileSystem()};
        images.KeepBytes = false;
        (void)ReadJwwBytes(doc, images, bytes, nullptr);  // only its peak counts, failing or not
    }
    return gPeak.load() - before;
}

}  // namespace

TEST(Allocation, DrawingsThatCostTheMostMemoryPerByte) {
    // Old dimensions with empty texts: each takes 143 bytes in the file and a whole record.
    JwwPlan dims;
    dims.version = 350;
    dims.fill = Fill::Zero;
    dims.entities.assign(20000, Dimension{});
    // Points, the smallest entities.
    JwwPlan points = dims;
    points.entities.assign(60000, Point{});
    // Empty block definitions, the smallest records with a collection each.
    JwwPlan blocks = dims;
    blocks.entities.clear();
    blocks.blocks.assign(20000, BlockDef{});
    for (const JwwPlan* plan : {&dims, &points, &blocks}) {
        const Bytes bytes = BuildJww(*plan);
        MustReadJww(bytes);
        EXPECT_LE(PeakWhileReading(bytes, false), Allowed(bytes.size())) << bytes.size();
    }
}

TEST(Allocation, HostileCountsAndLengthsAreRefusedBeforeTheyCost) {
    JwwPlan plan;
    plan.version = 600;
    JwwLayout layout;
    const Bytes header = BuildJwwHeader(plan, &layout);
    std::vector<Bytes> hostile;
    for (std::int32_t count : {0x7FFFFFFF, 0x10000000, 70000, 100}) {
        Bytes bytes = header;
        Out tail;
        tail.count(count);
        tail.zeros(200);
        bytes.insert(bytes.end(), tail.b.begin(), tail.b.end());
        hostile.push_back(bytes);  // entity count
        Bytes blockList = header;
        Out blocks;
        blocks.count(0);
        blocks.count(count);
        blocks.zeros(200);
        blockList.insert(blockList.end(), blocks.b.begin(), blocks.b.end());
        hostile.push_back(blockList);  // block definition count
    }
    JwwPlan images;
    images.version = 700;
    Bytes imageCount = BuildJww(images);
    PatchI32(imageCount, imageCount.size() - 4, 0x7FFFFFFF);
    imageCount.resize(imageCount.size() + 100);
    hostile.push_back(imageCount);
    Bytes imageSize = BuildJww(images);
    PatchI32(imageSize, imageSize.size() - 4, 1);
    Out entry;
    entry.str("A");
    entry.i32(0x7FFFFFFF);
    imageSize.insert(imageSize.end(), entry.b.begin(), entry.b.end());
    hostile.push_back(imageSize);
    Bytes memo = header;  // a memo claiming 65535 bytes in a short file
    memo.resize(16);
    memo[12] = 0xFF;
    memo[13] = 0xFF;
    memo[14] = 0xFF;
    hostile.push_back(memo);

    for (const Bytes& bytes : hostile) {
        EXPECT_FALSE(JwwFailure(bytes).message().empty());
        EXPECT_LE(PeakWhileReading(bytes, false), Allowed(bytes.size()));
        Bytes jws = BuildJws(JwsPlan{});
        jws.resize(452);
        jws.insert(jws.end(), bytes.begin() + static_cast<long>(std::min(bytes.size(), layout.entityList)), bytes.end());
        EXPECT_LE(PeakWhileReading(jws, true), Allowed(jws.size()));
    }
}

TEST(Allocation, AFileThatIsNoDrawingIsNeverReadWhole) {
    TempDir dir;
    const Bytes notADrawing(32u << 20, 'x');  // 32 MB named like a drawing
    WriteFile(dir / "huge.jww", notADrawing);
    ConversionContext ctx(RealFileSystem());
    const std::int64_t before = gLive.load();
    gPeak = before;
    const FileResult r = ConvertFile(ctx, dir / "huge.jww", dir / "out.jww");
    EXPECT_EQ(r.outcome, Outcome::Skipped);
    EXPECT_EQ(r.bytesIn, 12u);  // the signature, and where a JWW drawing has its version
    EXPECT_LT(gPeak.load() - before, 1 << 20);

    // A JWW signature with a version no reader takes fails at the version, read no further.
    Bytes tooOld(32u << 20, 'x');
    const std::string head = "JwwData.";
    std::copy(head.begin(), head.end(), tooOld.begin());
    PatchI32(tooOld, head.size(), 5);
    WriteFile(dir / "old.jww", tooOld);
    const std::int64_t beforeOld = gLive.load();
    gPeak = beforeOld;
    const FileResult old = ConvertFile(ctx, dir / "old.jww", dir / "out.jww");
    EXPECT_EQ(old.outcome, Outcome::Failed);
    EXPECT_EQ(old.failure.kind, ProblemKind::Malformed);
    EXPECT_EQ(old.failure.offset, 8);
    EXPECT_EQ(old.version, 5);
    EXPECT_EQ(old.bytesIn, 12u);
    EXPECT_LT(gPeak.load() - beforeOld, 1 << 20);
}

TEST(Allocation, AJobListHoldsItsNamesAtTheirSize) {
    const std::int64_t before = gLive.load();
    JobList jobs;
    constexpr int kJobs = 100000;
    std::size_t names = 0;
    for (int i = 0; i < kJobs; ++i) {
        const std::string name = "drawings/site-" + std::to_string(i) + "/plan.jww";
        jobs.add(name, "out/" + name);
        names += 2 * name.size() + 4;
    }
    // The names, an entry of a few words each, and what a growing buffer leaves spare.
    EXPECT_LT(gLive.load() - before, static_cast<std::int64_t>(2 * names + 64 * kJobs));
}

TEST(Allocation, MemoryThatRunsOutAndFaultsOfTheProgramHaveKindsOfTheirOwn) {
    Failure failure;
    gLimit = gLive.load() + (1 << 20);
    EXPECT_FALSE(CatchDrawingFailure([] { Bytes big(8u << 20); }, &failure));
    gLimit = -1;
    EXPECT_EQ(failure.kind, FailureKind::TooLarge);
    EXPECT_EQ(failure.message(), "too large for memory");
    EXPECT_FALSE(CatchDrawingFailure([] { throw std::logic_error("a bug"); }, &failure));
    EXPECT_EQ(failure.kind, FailureKind::Internal);
    EXPECT_EQ(failure.message(), "internal error: a bug");
}
