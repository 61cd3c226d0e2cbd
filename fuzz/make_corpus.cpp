// Writes the seed drawings of the fuzz targets (tests/builders/seeds.h) into
// FOLDER/corpus-<target>/. The seeds of the targets that take either format carry the format
// byte in front (0: JWW, 1: JWS).
#include "seeds.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using namespace qmtest;

namespace {

namespace fs = std::filesystem;

void Save(const fs::path& folder, const std::string& name, const Bytes& bytes) {
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + (folder / name).string());
}

Bytes WithFormatByte(std::uint8_t format, const Bytes& drawing) {
    Bytes b{format};
    b.insert(b.end(), drawing.begin(), drawing.end());
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-fuzz-corpus FOLDER\n";
        return 2;
    }
    try {
        const fs::path folder = argv[1];
        const fs::path jww = folder / "corpus-fuzz_read_jww";
        const fs::path jws = folder / "corpus-fuzz_read_jws";
        const fs::path roundtrip = folder / "corpus-fuzz_roundtrip";
        const fs::path copyThrough = folder / "corpus-fuzz_copy_through";
        const fs::path render = folder / "corpus-fuzz_render";
        for (const fs::path& f : {jww, jws, roundtrip, copyThrough, render}) fs::create_directories(f);

        std::size_t count = 0;
        for (const Seed& s : JwwSeeds()) {
            Save(jww, "seed-" + s.name + ".jww", s.bytes);
            for (const fs::path& either : {roundtrip, copyThrough, render})
                Save(either, "seed-" + s.name, WithFormatByte(0, s.bytes));
            ++count;
        }
        for (const Seed& s : JwsSeeds()) {
            Save(jws, "seed-" + s.name + ".jws", s.bytes);
            for (const fs::path& either : {roundtrip, copyThrough, render})
                Save(either, "seed-" + s.name, WithFormatByte(1, s.bytes));
            ++count;
        }
        std::cout << "make-fuzz-corpus: " << count << " seed drawings in " << folder.string() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "make-fuzz-corpus: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
