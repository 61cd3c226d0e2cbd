// The folder search behind the window's tree: every folder below a search folder, read on a
// thread of its own through folders held open, the subfolders of each folder found together in
// name order, and handed to the window's thread in batches while it goes on. It can be stopped
// at any moment and keeps what it found.
#pragma once

#include "../platform/files.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quellmark {

// A folder found: the node of the folder it is in, and its name. The search folder is node 0;
// the folders found are numbered on from 1 in the order they come.
struct FoundFolder {
    int parent = 0;
    std::string name;
};

// What the search found since it was last asked.
struct SearchNews {
    std::vector<FoundFolder> found;
    std::vector<int> unreadable;  // nodes of folders that could not be read: they show no subfolders
    bool ended = false;           // the search is over: nothing more comes
    bool whole = false;           // and it went through every folder (not stopped)
};

class FolderSearch {
public:
    // How often the window is told: its tree grows, and Escape is looked at, this often.
    static constexpr auto kBatchInterval = std::chrono::milliseconds(40);

    // news: called on the search's thread every kBatchInterval while it runs (whether or not it
    // found anything meanwhile), not again until Take() was called, and when the search ends.
    FolderSearch(FileSystem& files, std::filesystem::path root, std::function<void()> news);
    // Stops the search and waits for its thread.
    ~FolderSearch();
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    void Start();
    // No folder is read after this one; what was found stays.
    void Stop() { stop_ = true; }
    // What was found since the last call; safe from any thread.
    SearchNews Take();

private:
    struct Child {
        std::filesystem::path name;
        bool link = false;  // reached through a symbolic link or a junction
        int node = 0;
    };
    // A folder being gone through: held open while its subfolders are.
    struct Open {
        std::unique_ptr<FolderHandle> held;
        std::vector<Child> children;
        std::size_t next = 0;
        bool identified = false;
        FileIdentity identity;
    };

    void Run();
    // Reads the folder's subfolders, in name order, as the search's next nodes.
    void AddSubfolders(std::unique_ptr<FolderHandle> held, int node, std::vector<Open>& path);
    // Opens the child of the last folder of path; false when it is not to be entered.
    bool Enter(std::vector<Open>& path, const Child& child, std::unique_ptr<FolderHandle>& out);
    // Whether the folder held is one of those on the path (reached again through a link).
    bool OnPath(std::vector<Open>& path, const FolderHandle& held);
    void Unreadable(int node);
    // Hands the news over when it has waited long enough, or when the search has ended.
    void Tell(bool ended);

    FileSystem& files_;
    std::filesystem::path root_;
    std::function<void()> news_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    int nodes_ = 1;  // the search folder is node 0

    std::mutex mutex_;  // guards the three below
    SearchNews pending_;
    bool told_ = false;  // news_ was called and Take() has not taken it yet
    std::chrono::steady_clock::time_point lastTold_;
};

}  // namespace quellmark
