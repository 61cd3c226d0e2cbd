// The batch runner: chains of jobs that share a destination or ".BAK" name, worker threads with a
// context each, and the summary.
#include "batch.h"

#include "replace.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace quellmark {

namespace fs = std::filesystem;

void BatchSummary::add(const FileResult& result) {
    switch (result.outcome) {
        case Outcome::Converted:
        case Outcome::WouldConvert:
            ++converted;
            dimensionsMarked += result.marked;
            break;
        case Outcome::Skipped: ++skipped; break;
        case Outcome::Failed: ++failed; break;
        case Outcome::NotStarted: ++notStarted; break;
    }
    bytesIn += result.bytesIn;
    bytesOut += result.bytesOut;
    results.push_back(result);
}

namespace {

constexpr std::string_view kRunFolderPrefix = "quellmark-run-";

// "quellmark-run-" PID "-" number: nothing but a run's own temp folder is ever taken for one.
bool IsRunFolderName(const std::string& name) {
    if (!name.starts_with(kRunFolderPrefix)) return false;
    const std::string_view rest = std::string_view(name).substr(kRunFolderPrefix.size());
    const std::size_t dash = rest.find('-');
    auto digits = [](std::string_view s) {
        return !s.empty() && s.size() <= 20 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return dash != std::string_view::npos && digits(rest.substr(0, dash)) && digits(rest.substr(dash + 1));
}

}  // namespace

TempRoot::TempRoot() : owned_(true) {
    std::random_device entropy;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) throw std::runtime_error("no temporary folder: " + ErrorText(ec));
    // Folders of runs that were killed: named as this program names them, and no live run holds
    // their lock.
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!IsRunFolderName(it->path().filename().string()) || !it->is_directory(typeError)) continue;
        std::unique_ptr<FolderHandle> theirs;
        if (RealFileSystem().lockFolder(it->path(), false, theirs)) continue;
        std::error_code removeError;
        if (fs::remove_all(it->path(), removeError) > 0 && !removeError) ++leftoversRemoved_;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = base / (std::string(kRunFolderPrefix) + std::to_string(ProcessId()) + "-" +
                        std::to_string(entropy() % 1000000));
        // Another run's sweep may take a folder between its making and its locking; then it is
        // that run's to remove, and this run makes another.
        if (fs::create_directory(path_, ec) && !RealFileSystem().lockFolder(path_, false, lock_)) return;
    }
    throw std::runtime_error("cannot create a temporary folder under " + base.string() +
                             (ec ? ": " + ErrorText(ec) : std::string()));
}

TempRoot::TempRoot(fs::path existing) : path_(std::move(existing)), owned_(false) {}

TempRoot::~TempRoot() {
    if (!owned_) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

namespace {

// Jobs that share a destination or a backup name form a chain that runs in order.
std::vector<std::vector<std::size_t>> Chains(const std::vector<BatchJob>& jobs) {
    std::vector<std::vector<std::size_t>> chains;
    std::map<std::string, std::size_t> chainOf;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        std::string key = BackupPath(jobs[i].dest).string();
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        auto [it, fresh] = chainOf.try_emplace(key, chains.size());
        if (fresh) chains.emplace_back();
        chains[it->second].push_back(i);
    }
    return chains;
}

// For each job whose destination an earlier job of the batch already has, the index of that
// earlier job; no drawing of a batch may become another's ".BAK".
std::map<std::size_t, std::size_t> Clashes(const std::vector<BatchJob>& jobs) {
    std::map<std::size_t, std::size_t> clashes;
    std::map<fs::path, std::size_t> firstWith;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        auto [it, fresh] = firstWith.try_emplace(jobs[i].dest.lexically_normal(), i);
        if (!fresh) clashes[i] = it->second;
    }
    return clashes;
}

FileResult Clash(const BatchJob& job, const BatchJob& first) {
    FileResult r;
    r.source = job.source;
    r.dest = job.dest;
    r.outcome = Outcome::Failed;
    r.failure = MakeFailure(FailureKind::Clash, first.source.string() + " of this batch is converted to the same name");
    return r;
}

FileResult NotStarted(const BatchJob& job) {
    FileResult r;
    r.source = job.source;
    r.dest = job.dest;
    r.outcome = Outcome::NotStarted;
    r.failure = MakeFailure(FailureKind::Interrupted, "the batch was stopped before it started");
    return r;
}

// How many drawings, or how many bytes of them, a worker syncs together.
constexpr std::size_t kSyncGroupFiles = 64;
constexpr std::uint64_t kSyncGroupBytes = 64u << 20;

}  // namespace

std::error_code LockDestination(FileSystem& files, const fs::path& dest, bool wait,
                                const std::function<void()>& onWait, std::unique_ptr<FolderHandle>& lock) {
    auto ec = files.lockFolder(dest, false, lock);
    if (ec != std::errc::resource_unavailable_try_again || !wait) return ec;
    if (onWait) onWait();
    return files.lockFolder(dest, true, lock);
}

BatchSummary RunBatch(const std::vector<BatchJob>& jobs, int workers, const ConvertSettings& given,
                      const fs::path& tempRoot, FileSystem& files, BatchObserver* observer, bool sweepLeftovers) {
    const auto started = std::chrono::steady_clock::now();
    LeftoverSweep sweep(files);
    ConvertSettings settings = given;
    settings.sweep = sweepLeftovers ? &sweep : nullptr;
    const std::vector<std::vector<std::size_t>> chains = Chains(jobs);
    const std::map<std::size_t, std::size_t> clashes = Clashes(jobs);

    std::vector<FileResult> results(jobs.size());
    std::atomic<std::size_t> nextChain{0};
    std::mutex observerMutex;
    auto finished = [&](std::size_t i) {
        if (!observer) return;
        std::lock_guard lock(observerMutex);
        observer->FileFinished(i, results[i]);
    };
    auto work = [&](int worker) {
        ConversionContext ctx(files);
        ctx.settings = settings;
        ctx.syncInGroups = settings.sync && files.canSyncFileSystems();
        ctx.images.TempFolder = tempRoot / ("job-" + std::to_string(worker));
        (void)files.createDirectory(ctx.images.TempFolder);
        std::vector<std::size_t> waiting;  // the jobs of the drawings waiting in ctx, in order
        std::uint64_t waitingBytes = 0;
        auto finishWaiting = [&] {
            if (waiting.empty()) return;
            std::vector<FileResult> done = FinishWaiting(ctx);
            for (std::size_t k = 0; k < waiting.size(); ++k) {
                results[waiting[k]] = std::move(done[k]);
                finished(waiting[k]);
            }
            waiting.clear();
            waitingBytes = 0;
        };
        for (std::size_t c; (c = nextChain++) < chains.size();) {
            for (std::size_t i : chains[c]) {
                // The jobs of a chain replace one another's names: each starts once the one
                // before it is in place.
                if (chains[c].size() > 1) finishWaiting();
                const std::size_t waitingBefore = ctx.waiting.size();
                if (auto clash = clashes.find(i); clash != clashes.end()) {
                    results[i] = Clash(jobs[i], jobs[clash->second]);
                } else if (settings.stop && settings.stop->load()) {
                    results[i] = NotStarted(jobs[i]);
                } else {
                    auto onStart = [&] {
                        if (!observer) return;
                        std::lock_guard lock(observerMutex);
                        observer->FileStarted(i, jobs[i]);
                    };
                    results[i] = ConvertFile(ctx, jobs[i].source, jobs[i].dest, onStart);
                }
                if (ctx.waiting.size() > waitingBefore) {
                    // Synced with others: enough of them to make one sync pay, few enough that
                    // the results still come as the batch goes.
                    waiting.push_back(i);
                    waitingBytes += results[i].bytesOut;
                    if (waiting.size() >= kSyncGroupFiles || waitingBytes >= kSyncGroupBytes) finishWaiting();
                } else {
                    finished(i);
                }
            }
        }
        finishWaiting();
        (void)files.removeDirectory(ctx.images.TempFolder);
    };

    const int threads = std::clamp<int>(workers, 1, static_cast<int>(std::max<std::size_t>(chains.size(), 1)));
    if (threads == 1) {
        work(0);
    } else {
        std::vector<std::thread> pool;
        for (int w = 0; w < threads; ++w) pool.emplace_back(work, w);
        for (std::thread& t : pool) t.join();
    }

    BatchSummary summary;
    for (const FileResult& r : results) summary.add(r);
    summary.leftoversRemoved = sweep.Removed();
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return summary;
}

}  // namespace quellmark
