// Read + mark + write of whole drawings in memory, in bytes per second of drawing, for each shape:
// many small entities, text-heavy, mixed (at version 600 and at 230), image-heavy, and JWS; and
// the scanning pass of copy-through over the same shapes.
#include "drawing/bytes.h"
#include "drawing/dimensions.h"
#include "drawing/images.h"
#include "drawing/scan.h"
#include "jws/jwsunit.h"
#include "jww/jwwunit.h"
#include "platform/system.h"
#include "shapes.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

using namespace quellmark;

namespace {

// Drops what it is given: the benchmark measures the conversion, not a copy into memory.
class NullSink final : public ByteSink {
public:
    void write(std::span<const std::uint8_t> bytes) override { written += bytes.size(); }
    std::uint64_t written = 0;
};

class TempFolder {
public:
    TempFolder() : path_(std::filesystem::temp_directory_path() / ("quellmark-bench-" + std::to_string(ProcessId()))) {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Kept out of line so that callgrind can count exactly the conversions (bench/profile).
[[gnu::noinline]] void ConvertJwwInMemory(benchmark::State& state, const qmtest::Bytes& input) {
    TempFolder temp;
    ImageStore images{RealFileSystem()};
    images.TempFolder = temp.path();
    JwwDocument doc;
    for (auto _ : state) {
        Failure failure;
        if (!ReadJwwBytes(doc, images, input, &failure)) {
            state.SkipWithError(failure.message().c_str());
            return;
        }
        AddDimensionAttributes(doc, doc.Header.Version);
        NullSink sink;
        ByteWriter out(sink);
        WriteJwwStream(out, doc, images, doc.Header.Version);
        out.flush();
        benchmark::DoNotOptimize(sink.written);
        DeleteTempImages(images);
        FreeJwwDocument(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
    state.counters["drawing_MB"] = static_cast<double>(input.size()) / 1e6;
}

void BM_ManyEntities(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::ManyEntities(50));
    ConvertJwwInMemory(state, input);
}

void BM_TextHeavy(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::TextHeavy(20));
    ConvertJwwInMemory(state, input);
}

void BM_Mixed(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::Mixed(40, 600));
    ConvertJwwInMemory(state, input);
}

void BM_MixedOld(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::Mixed(40, 230));
    ConvertJwwInMemory(state, input);
}

void BM_ImageHeavy(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::ImageHeavy(8));
    ConvertJwwInMemory(state, input);
}

[[gnu::noinline]] void ConvertJwsInMemory(benchmark::State& state, const qmtest::Bytes& input) {
    JwsDocument doc;
    for (auto _ : state) {
        Failure failure;
        if (!ReadJwsBytes(doc, input, &failure)) {
            state.SkipWithError(failure.message().c_str());
            return;
        }
        AddDimensionAttributes(doc, doc.Header.Version);
        NullSink sink;
        ByteWriter out(sink);
        WriteJwsStream(out, doc, doc.Header.Version);
        out.flush();
        benchmark::DoNotOptimize(sink.written);
        FreeJwsDocument(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void BM_JwsManyEntities(benchmark::State& state) {
    static const qmtest::Bytes input = [] {
        qmtest::JwsPlan plan;
        plan.version = 600;
        plan.entities = qmbench::ManyEntities(20).entities;
        return qmtest::BuildJws(plan);
    }();
    ConvertJwsInMemory(state, input);
}

// Reading alone, to see how the time splits between reading and writing.
[[gnu::noinline]] void ReadJwwInMemory(benchmark::State& state, const qmtest::Bytes& input) {
    ImageStore images{RealFileSystem()};
    images.KeepBytes = false;
    JwwDocument doc;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadJwwBytes(doc, images, input, nullptr));
        FreeJwwDocument(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void BM_ManyEntitiesReadOnly(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::ManyEntities(50));
    ReadJwwInMemory(state, input);
}

// The scanning pass: every check of reading, no document, the marks and other edits listed.
template <bool kJww>
[[gnu::noinline]] void ScanInMemory(benchmark::State& state, const qmtest::Bytes& input) {
    DrawingScan scan;
    for (auto _ : state) {
        Failure failure;
        if (!(kJww ? ScanJwwBytes(input, scan, &failure) : ScanJwsBytes(input, scan, &failure))) {
            state.SkipWithError(failure.message().c_str());
            return;
        }
        benchmark::DoNotOptimize(scan.patches.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
    state.counters["edits"] = static_cast<double>(scan.edits.edits().size());
}

void BM_ScanManyEntities(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::ManyEntities(50));
    ScanInMemory<true>(state, input);
}

void BM_ScanTextHeavy(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::TextHeavy(20));
    ScanInMemory<true>(state, input);
}

void BM_ScanMixed(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::Mixed(40, 600));
    ScanInMemory<true>(state, input);
}

void BM_ScanMixedOld(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::Mixed(40, 230));
    ScanInMemory<true>(state, input);
}

void BM_ScanImageHeavy(benchmark::State& state) {
    static const qmtest::Bytes input = qmtest::BuildJww(qmbench::ImageHeavy(8));
    ScanInMemory<true>(state, input);
}

void BM_ScanJwsManyEntities(benchmark::State& state) {
    static const qmtest::Bytes input = [] {
        qmtest::JwsPlan plan;
        plan.version = 600;
        plan.entities = qmbench::ManyEntities(20).entities;
        return qmtest::BuildJws(plan);
    }();
    ScanInMemory<false>(state, input);
}

// The mixed shape as users have it: header values, texts, strings and an image the writers
// normalise, every text 40th with a line break, so the scan lists edits as it goes.
void BM_ScanUserShaped(benchmark::State& state) {
    static const qmtest::Bytes input = [] {
        qmtest::JwwPlan plan = qmbench::Mixed(40, 700);
        qmbench::UserShape(plan, 1.0, 9);
        return qmbench::BuildUserShaped(plan);
    }();
    ScanInMemory<true>(state, input);
}

}  // namespace

int main(int argc, char** argv) {
    // QUELLMARK_BENCH_ITERATIONS=N runs each benchmark exactly N times, for instruction counts
    // under callgrind that compare from one build to the next.
    const char* fixed = std::getenv("QUELLMARK_BENCH_ITERATIONS");
    using Function = void (*)(benchmark::State&);
    const std::pair<const char*, Function> benchmarks[] = {{"ManyEntities", BM_ManyEntities},
                                                           {"ManyEntitiesReadOnly", BM_ManyEntitiesReadOnly},
                                                           {"TextHeavy", BM_TextHeavy},
                                                           {"Mixed", BM_Mixed},
                                                           {"MixedOld", BM_MixedOld},
                                                           {"ImageHeavy", BM_ImageHeavy},
                                                           {"JwsManyEntities", BM_JwsManyEntities},
                                                           {"ScanManyEntities", BM_ScanManyEntities},
                                                           {"ScanTextHeavy", BM_ScanTextHeavy},
                                                           {"ScanMixed", BM_ScanMixed},
                                                           {"ScanMixedOld", BM_ScanMixedOld},
                                                           {"ScanImageHeavy", BM_ScanImageHeavy},
                                                           {"ScanJwsManyEntities", BM_ScanJwsManyEntities},
                                                           {"ScanUserShaped", BM_ScanUserShaped}};
    for (auto [name, function] : benchmarks) {
        auto* b = benchmark::RegisterBenchmark(name, function)->Unit(benchmark::kMillisecond);
        if (fixed) {
            b->Iterations(std::atoll(fixed));
        } else {
            b->MinTime(2);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
