// The folder search timed on a tree made beforehand, without Google Benchmark, so that it runs in
// the Windows build under Wine as well: each round searches the whole tree and says how long it
// took and how many folders it found.
//   search-time FOLDER [ROUNDS]
#include "search_to_end.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: search-time FOLDER [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const qmbench::SearchCount count = qmbench::SearchToEnd(argv[1]);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%zu folders (%zu unreadable) in %.2f s\n", count.folders, count.unreadable, seconds);
    }
    return 0;
}
