// Writes a batch of drawings for the batch-vs-copy benchmark: COUNT drawings of about MB
// megabytes each in total, mixed shapes, into FOLDER.
#include "shapes.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make-batch FOLDER COUNT TOTAL_MB\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = std::stoi(argv[2]);
    const double total = std::stod(argv[3]);
    std::filesystem::create_directories(folder);
    std::uint64_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        const double size = total / count;
        qmtest::Bytes drawing;
        switch (i % 4) {
            case 0:
            case 1: drawing = qmtest::BuildJww(qmbench::ManyEntities(size, static_cast<std::uint64_t>(i))); break;
            case 2: drawing = qmtest::BuildJww(qmbench::TextHeavy(size, static_cast<std::uint64_t>(i))); break;
            default: drawing = qmtest::BuildJww(qmbench::ImageHeavy(size, 2, static_cast<std::uint64_t>(i))); break;
        }
        const std::filesystem::path path = folder / ("drawing" + std::to_string(i) + ".jww");
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(drawing.data()), static_cast<std::streamsize>(drawing.size()));
        bytes += drawing.size();
    }
    std::cout << count << " drawings, " << bytes / 1000000 << " MB in " << folder.string() << "\n";
    return 0;
}
