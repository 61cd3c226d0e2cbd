// Writes a batch of drawings for the batch-vs-copy benchmark into FOLDER, one of three kinds:
//   mixed   20 drawings of about 60,000 mixed entities each, versions 220 to 700 (about 100 MB)
//   small   1,080 small drawings like an office's archive: JWW and JWS, versions 351 to 700,
//           from 10 KB to 500 KB, a few with an embedded image (about 105 MB)
//   large   200 large drawings of the simple shapes: many entities, long texts, images (220 MB)
//   heavy   20 drawings of about 60,000 mixed entities shaped as users' drawings are: header
//           values, texts and images the writers normalise, JWW 220 to 700 and JWS (100 MB)
//   office  1,000 drawings of 5 to 200 KB as an office keeps them: converted before (their
//           dimensions marked), three in ten edited since (two new dimensions at the end), most
//           with header values the writers reset, a few with texts to clean, short strings in
//           the long length form, unreferenced images, every version (about 60 MB)
//   memory  one drawing of about 50 MB for each shape, to measure peak memory on
#include "shapes.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

void Save(const std::filesystem::path& path, const qmtest::Bytes& drawing, std::uint64_t& total) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(drawing.data()), static_cast<std::streamsize>(drawing.size()));
    total += drawing.size();
}

std::string Numbered(const char* stem, int i, const char* extension) {
    std::string number = std::to_string(i);
    return stem + std::string(4 - std::min<std::size_t>(4, number.size()), '0') + number + extension;
}

std::uint64_t MixedBatch(const std::filesystem::path& folder) {
    static constexpr std::int32_t kVersions[] = {220, 230, 300, 351, 420, 600, 700};
    std::uint64_t total = 0;
    for (int i = 0; i < 20; ++i) {
        const std::int32_t version = kVersions[i % 7];
        qmtest::JwwPlan plan = qmbench::Mixed(0.1, version, static_cast<std::uint64_t>(i));
        plan.entities = qmbench::MixedEntities(60000, static_cast<std::uint64_t>(i));
        Save(folder / Numbered("mixed", i, ".jww"), qmtest::BuildJww(plan), total);
    }
    return total;
}

std::uint64_t SmallBatch(const std::filesystem::path& folder) {
    static constexpr std::int32_t kVersions[] = {351, 420, 600, 700, 600, 700};
    std::uint64_t total = 0;
    for (int i = 0; i < 1080; ++i) {
        // Sizes spread over 10 KB to 500 KB, most of them small, as in a real archive.
        const double spread = static_cast<double>((i * 617) % 1080) / 1080.0;
        const double megabytes = 0.026 * std::exp(3.0 * spread * spread);
        const auto seed = static_cast<std::uint64_t>(1000 + i);
        const std::int32_t version = kVersions[i % 6];
        if (i % 3 == 2) {
            qmtest::JwsPlan plan;
            plan.version = version == 700 ? 600 : version;
            const qmtest::JwwPlan mixed = qmbench::Mixed(megabytes, plan.version, seed);
            plan.entities = mixed.entities;
            plan.blocks = mixed.blocks;
            Save(folder / Numbered("part", i, ".jws"), qmtest::BuildJws(plan), total);
        } else {
            qmtest::JwwPlan plan = qmbench::Mixed(megabytes, version, seed);
            if (version == 700 && i % 10 == 3) {
                plan.images.push_back(qmtest::Image{"PHOTO.JPG", static_cast<std::int32_t>(megabytes * 4e5), {}});
                qmtest::Text reference;
                reference.text = "^@BM%temp%PHOTO.JPG,100,100";
                plan.entities.push_back(reference);
            }
            Save(folder / Numbered("plan", i, ".jww"), qmtest::BuildJww(plan), total);
        }
    }
    return total;
}

std::uint64_t LargeBatch(const std::filesystem::path& folder) {
    std::uint64_t total = 0;
    for (int i = 0; i < 200; ++i) {
        const double size = 1.1;
        const auto seed = static_cast<std::uint64_t>(i);
        qmtest::Bytes drawing;
        switch (i % 4) {
            case 0:
            case 1: drawing = qmtest::BuildJww(qmbench::ManyEntities(size, seed)); break;
            case 2: drawing = qmtest::BuildJww(qmbench::TextHeavy(size, seed)); break;
            default: drawing = qmtest::BuildJww(qmbench::ImageHeavy(size, 2, seed)); break;
        }
        Save(folder / ("drawing" + std::to_string(i) + ".jww"), drawing, total);
    }
    return total;
}

std::uint64_t HeavyBatch(const std::filesystem::path& folder) {
    static constexpr std::int32_t kVersions[] = {220, 230, 300, 351, 420, 600, 700};
    std::uint64_t total = 0;
    for (int i = 0; i < 20; ++i) {
        const auto seed = static_cast<std::uint64_t>(100 + i);
        const std::int32_t version = kVersions[i % 7];
        qmtest::JwwPlan plan = qmbench::Mixed(0.1, version, seed);
        plan.entities = qmbench::MixedEntities(60000, seed);
        qmbench::UserShape(plan, 1.0, seed);
        if (i % 5 == 4) {
            // JWS drawings, some at a version the writers raise, a JWS filler as some programs write it.
            qmtest::JwsPlan jws;
            jws.version = i % 10 == 4 ? 300 : 600;
            jws.filler = 0x20;
            jws.entities = plan.entities;
            jws.blocks = plan.blocks;
            Save(folder / Numbered("heavy", i, ".jws"), qmtest::BuildJws(jws), total);
        } else {
            Save(folder / Numbered("heavy", i, ".jww"), qmbench::BuildUserShaped(plan), total);
        }
    }
    return total;
}

std::uint64_t OfficeBatch(const std::filesystem::path& folder) {
    static constexpr std::int32_t kVersions[] = {230, 300, 351, 420, 600, 700, 700, 600, 700, 420};
    std::uint64_t total = 0;
    for (int i = 0; i < 1000; ++i) {
        // Sizes spread over 5 KB to 200 KB, most of them small.
        const double spread = static_cast<double>((i * 617) % 1000) / 1000.0;
        const double megabytes = 0.005 + 0.195 * spread * spread;
        const auto seed = static_cast<std::uint64_t>(5000 + i);
        const std::int32_t version = kVersions[i % 10];
        qmtest::JwwPlan plan = qmbench::Mixed(megabytes, version, seed);
        // Converted before; three in ten edited since, with two new dimensions at the end.
        qmbench::MarkDimensions(plan.entities);
        for (qmtest::BlockDef& def : plan.blocks) qmbench::MarkDimensions(def.members);
        if (i % 10 >= 7) {
            qmtest::RandomDrawing random(seed);
            for (int d = 0; d < 2; ++d) plan.entities.push_back(random.entity(5));
        }
        qmbench::UserShape(plan, 0.1, seed);
        if (i % 6 == 5) {
            qmtest::JwsPlan jws;
            jws.version = version;
            jws.entities = plan.entities;
            jws.blocks = plan.blocks;
            Save(folder / Numbered("part", i, ".jws"), qmtest::BuildJws(jws), total);
        } else {
            Save(folder / Numbered("plan", i, ".jww"),
                 i % 4 == 3 ? qmtest::BuildJww(plan) : qmbench::BuildUserShaped(plan), total);
        }
    }
    return total;
}

// One entity class over and over, at the version.
qmtest::JwwPlan OneClass(double megabytes, int classNo, std::int32_t version, std::size_t bytesEach) {
    qmtest::RandomDrawing random(7);
    qmtest::JwwPlan plan;
    plan.version = version;
    for (std::size_t bytes = 15000; bytes < megabytes * 1e6; bytes += bytesEach)
        plan.entities.push_back(random.entity(classNo));
    return plan;
}

std::uint64_t MemoryBatch(const std::filesystem::path& folder) {
    std::uint64_t total = 0;
    Save(folder / "many-entities.jww", qmtest::BuildJww(qmbench::ManyEntities(50)), total);
    Save(folder / "text-heavy.jww", qmtest::BuildJww(qmbench::TextHeavy(50)), total);
    Save(folder / "mixed-600.jww", qmtest::BuildJww(qmbench::Mixed(50, 600)), total);
    Save(folder / "mixed-230.jww", qmtest::BuildJww(qmbench::Mixed(50, 230)), total);
    Save(folder / "points.jww", qmtest::BuildJww(OneClass(50, 3, 600, 37)), total);
    // Just below the size from which lists are counted before they are read: they grow instead.
    Save(folder / "points-small.jww", qmtest::BuildJww(OneClass(6.9, 3, 600, 37)), total);
    Save(folder / "dimensions-300.jww", qmtest::BuildJww(OneClass(50, 5, 300, 143)), total);
    Save(folder / "dimensions-600.jww", qmtest::BuildJww(OneClass(50, 5, 600, 520)), total);
    Save(folder / "image-heavy.jww", qmtest::BuildJww(qmbench::ImageHeavy(50)), total);
    qmtest::JwsPlan jws;
    jws.version = 600;
    jws.entities = qmbench::Mixed(50, 600).entities;
    Save(folder / "mixed.jws", qmtest::BuildJws(jws), total);
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = argc == 3 ? argv[1] : "";
    if (kind != "mixed" && kind != "small" && kind != "large" && kind != "heavy" && kind != "office" &&
        kind != "memory") {
        std::cerr << "usage: make-batch mixed|small|large|heavy|office|memory FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[2];
    std::filesystem::create_directories(folder);
    const std::uint64_t bytes = kind == "mixed"    ? MixedBatch(folder)
                                : kind == "small"  ? SmallBatch(folder)
                                : kind == "large"  ? LargeBatch(folder)
                                : kind == "heavy"  ? HeavyBatch(folder)
                                : kind == "office" ? OfficeBatch(folder)
                                                   : MemoryBatch(folder);
    std::cout << kind << " batch: " << bytes / 1000000 << " MB in " << folder.string() << "\n";
    return 0;
}
