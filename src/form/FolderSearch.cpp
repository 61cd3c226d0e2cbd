// The folder search on its thread: depth first, each folder entered from the one above it as it
// is held open, so that a folder renamed or moved meanwhile is still the one read; only the
// folders on the way down are held at any time.
#include "FolderSearch.h"

#include "../platform/system.h"
#include "FileListText.h"

#include <algorithm>
#include <utility>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

// A folder gone between its listing and its reading, or put in place of by a link meanwhile, is
// simply no longer there; anything else that keeps a folder from being read is worth a word.
bool Gone(const std::error_code& ec) {
    return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory ||
           ec == std::errc::too_many_symbolic_link_levels;
}

}  // namespace

FolderSearch::FolderSearch(FileSystem& files, fs::path root, std::function<void()> news)
    : files_(files), root_(std::move(root)), news_(std::move(news)) {}

FolderSearch::~FolderSearch() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void FolderSearch::Start() {
    // The first folders are told of at once: the tree shows them as soon as they are read.
    lastTold_ = std::chrono::steady_clock::now() - kBatchInterval;
    thread_ = std::thread([this] { Run(); });
}

SearchNews FolderSearch::Take() {
    std::lock_guard lock(mutex_);
    told_ = false;
    SearchNews news = std::move(pending_);
    pending_ = {};
    pending_.ended = news.ended;
    pending_.whole = news.whole;
    return news;
}

void FolderSearch::Run() {
    std::vector<Open> path;
    std::unique_ptr<FolderHandle> root;
    if (const std::error_code ec = files_.holdFolder(root_, root)) {
        if (!Gone(ec)) Unreadable(0);
    } else {
        AddSubfolders(std::move(root), 0, path);
    }
    while (!path.empty() && !stop_) {
        Open& folder = path.back();
        if (folder.next == folder.children.size()) {
            path.pop_back();
            continue;
        }
        const Child child = folder.children[folder.next++];
        std::unique_ptr<FolderHandle> held;
        if (Enter(path, child, held) && !stop_) AddSubfolders(std::move(held), child.node, path);
        Tell(false);
    }
    {
        std::lock_guard lock(mutex_);
        pending_.whole = path.empty() && !stop_;
    }
    path.clear();  // every folder let go before the window hears the end
    Tell(true);
}

void FolderSearch::AddSubfolders(std::unique_ptr<FolderHandle> held, int node, std::vector<Open>& path) {
    std::vector<FolderEntry> entries;
    const std::error_code ec = files_.listHeld(*held, entries);
    if (ec && !Gone(ec)) Unreadable(node);  // what was read before the failure still counts
    Open folder;
    folder.held = std::move(held);
    for (FolderEntry& entry : entries) {
        // Hidden folders are left out, as the listing leaves out hidden files.
        if (entry.facts.kind != PathKind::Folder || entry.facts.hidden) continue;
        folder.children.push_back({std::move(entry.name), entry.facts.link, 0});
    }
    std::vector<std::pair<std::string, std::size_t>> names;
    names.reserve(folder.children.size());
    for (std::size_t i = 0; i < folder.children.size(); ++i) names.emplace_back(PathText(folder.children[i].name), i);
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return ListsBefore(a.first, b.first); });

    std::vector<Child> ordered;
    ordered.reserve(names.size());
    std::vector<FoundFolder> found;
    found.reserve(names.size());
    for (auto& [name, index] : names) {
        ordered.push_back(std::move(folder.children[index]));
        ordered.back().node = nodes_++;
        found.push_back({node, std::move(name)});
    }
    folder.children = std::move(ordered);
    if (!found.empty()) {
        std::lock_guard lock(mutex_);
        pending_.found.insert(pending_.found.end(), std::make_move_iterator(found.begin()),
                              std::make_move_iterator(found.end()));
    }
    if (!folder.children.empty()) path.push_back(std::move(folder));
}

bool FolderSearch::Enter(std::vector<Open>& path, const Child& child, std::unique_ptr<FolderHandle>& out) {
    const FolderHandle& parent = *path.back().held;
    // A folder is entered from the one held above it without following links; a link is
    // followed on purpose, and not entered when it leads back to a folder on the way down.
    const std::error_code ec =
        child.link ? files_.holdFolder(parent.path() / child.name, out) : files_.enterFolder(parent, child.name, out);
    if (ec) {
        if (!Gone(ec)) Unreadable(child.node);
        return false;
    }
    return !child.link || !OnPath(path, *out);
}

bool FolderSearch::OnPath(std::vector<Open>& path, const FolderHandle& held) {
    FileIdentity identity;
    if (files_.identify(held.path(), identity)) return false;
    for (Open& folder : path) {
        if (!folder.identified) {
            folder.identified = !files_.identify(folder.held->path(), folder.identity);
            if (!folder.identified) continue;
        }
        if (folder.identity == identity) return true;
    }
    return false;
}

void FolderSearch::Unreadable(int node) {
    std::lock_guard lock(mutex_);
    pending_.unreadable.push_back(node);
}

void FolderSearch::Tell(bool ended) {
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (ended) pending_.ended = true;
        // Also with nothing new: the window's thread looks at Escape each time it is told.
        if (!told_ && (ended || now - lastTold_ >= kBatchInterval)) {
            tell = told_ = true;
            lastTold_ = now;
        }
    }
    if (tell) news_();
}

}  // namespace quellmark
