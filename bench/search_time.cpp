// The folder search timed on a tree made beforehand, without Google Benchmark, so that it runs in
// the Windows build under Wine as well: each round searches the whole tree and says how long it
// took and how many folders it found.
//   search-time FOLDER [ROUNDS]
#include "form/FolderSearch.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: search-time FOLDER [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    for (int round = 0; round < rounds; ++round) {
        std::mutex mutex;
        std::condition_variable told;
        bool news = false;
        const auto start = std::chrono::steady_clock::now();
        quellmark::FolderSearch search(quellmark::RealFileSystem(), argv[1], [&] {
            std::lock_guard lock(mutex);
            news = true;
            told.notify_one();
        });
        search.Start();
        std::size_t folders = 1;
        std::size_t unreadable = 0;
        for (bool ended = false; !ended;) {
            {
                std::unique_lock lock(mutex);
                told.wait(lock, [&] { return news; });
                news = false;
            }
            const quellmark::SearchNews taken = search.Take();
            folders += taken.found.size();
            unreadable += taken.unreadable.size();
            ended = taken.ended;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%zu folders (%zu unreadable) in %.2f s\n", folders, unreadable, seconds);
    }
    return 0;
}
