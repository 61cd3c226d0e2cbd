// One whole folder search as the window's tree takes it: every batch of found folders taken as
// soon as the search tells of it, until it ends. Shared by search_bench and search-time.
#pragma once

#include "form/FolderSearch.h"

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <mutex>

namespace qmbench {

struct SearchCount {
    std::size_t folders = 1;  // the searched folder itself, and every one found below it
    std::size_t unreadable = 0;
};

inline SearchCount SearchToEnd(const std::filesystem::path& root) {
    std::mutex mutex;
    std::condition_variable told;
    bool news = false;
    quellmark::FolderSearch search(quellmark::RealFileSystem(), root, [&] {
        std::lock_guard lock(mutex);
        news = true;
        told.notify_one();
    });
    search.Start();
    SearchCount count;
    for (bool ended = false; !ended;) {
        {
            std::unique_lock lock(mutex);
            told.wait(lock, [&] { return news; });
            news = false;
        }
        const quellmark::SearchNews taken = search.Take();
        count.folders += taken.found.size();
        count.unreadable += taken.unreadable.size();
        ended = taken.ended;
    }
    return count;
}

}  // namespace qmbench
