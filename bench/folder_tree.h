// The folder tree the folder search is measured on: 27,931 folders (the search folder, 30 in it,
// 30 in each of those, 30 in each of those), with a drawing and a text file in each of the last.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace qmbench {

inline constexpr int kTreeFanOut = 30;

inline void MakeFolderTree(const std::filesystem::path& root) {
    for (int a = 0; a < kTreeFanOut; ++a) {
        for (int b = 0; b < kTreeFanOut; ++b) {
            for (int c = 0; c < kTreeFanOut; ++c) {
                const std::filesystem::path leaf =
                    root / ("dir" + std::to_string(a)) / ("sub" + std::to_string(b)) / ("leaf" + std::to_string(c));
                std::filesystem::create_directories(leaf);
                std::ofstream(leaf / "plan.jww").put('x');
                std::ofstream(leaf / "notes.txt").put('x');
            }
        }
    }
}

}  // namespace qmbench
