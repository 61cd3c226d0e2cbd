// The batch runner: the job list, chains of jobs that share a destination or ".BAK" name, worker
// threads with a context each, and the summary.
#include "batch.h"

#include "../platform/system.h"
#include "case_fold.h"
#include "replace.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace quellmark {

namespace fs = std::filesystem;

void JobList::add(const fs::path& source, const fs::path& dest, std::uint64_t size, bool named) {
    const Text& s = source.native();
    const Text& d = dest.native();
    entries_.push_back(
        {text_.size(), static_cast<std::uint32_t>(s.size()), static_cast<std::uint32_t>(d.size()), size, named});
    text_ += s;
    text_ += d;
    listedBytes_ += size;
}

fs::path JobList::source(std::size_t i) const {
    const Entry& e = entries_[i];
    return fs::path(text_.substr(e.at, e.sourceLength));
}

fs::path JobList::dest(std::size_t i) const {
    const Entry& e = entries_[i];
    return fs::path(text_.substr(e.at + e.sourceLength, e.destLength));
}

void JobList::addUnreadableFolder(const fs::path& folder, const fs::path& dest, std::error_code why) {
    unreadable_.emplace(entries_.size(), why);
    add(folder, dest, 0, false);
}

BatchJob JobList::operator[](std::size_t i) const {
    const auto unreadable = unreadable_.find(i);
    return {source(i), dest(i), entries_[i].named,
            unreadable == unreadable_.end() ? std::error_code{} : unreadable->second};
}

void BatchSummary::add(const FileResult& result) {
    switch (result.outcome) {
        case Outcome::Converted:
        case Outcome::WouldConvert:
            ++converted;
            dimensionsMarked += result.marked;
            if (result.madeBackup) ++backups;
            if (result.changes.normalised()) ++normalised;
            break;
        case Outcome::UpToDate: ++upToDate; break;
        case Outcome::Skipped: ++skipped; break;
        case Outcome::Failed: ++failed; break;
        case Outcome::NotStarted: ++notStarted; break;
        case Outcome::Repeated: return;  // counted with the first
    }
    bytesIn += result.bytesIn;
    bytesOut += result.bytesOut;
}

namespace {

// The jobs in groups that must run one after the other (shared destination or backup names),
// each group as a chain of indices: the first of each, and for each job the next of its group.
struct Chains {
    static constexpr std::uint32_t kEnd = UINT32_MAX;
    std::vector<std::uint32_t> heads;
    std::vector<std::uint32_t> next;
};

// Indices grouped by a key, held by the key's hash; keys are made again only where hashes meet,
// so a million jobs cost a few bytes each here, not a string each.
class KeyIndex {
public:
    using KeyOf = std::function<std::string(std::size_t)>;
    explicit KeyIndex(KeyOf keyOf) : keyOf_(std::move(keyOf)) {}
    // The first index with the same key, or i itself when it is the first.
    std::size_t firstWith(std::size_t i) {
        const std::string key = keyOf_(i);
        const std::size_t hash = std::hash<std::string>{}(key);
        auto [from, to] = firsts_.equal_range(hash);
        for (auto it = from; it != to; ++it) {
            if (keyOf_(it->second) == key) return it->second;
        }
        firsts_.emplace(hash, static_cast<std::uint32_t>(i));
        return i;
    }

private:
    KeyOf keyOf_;
    std::unordered_multimap<std::size_t, std::uint32_t> firsts_;
};

Chains ChainsOf(const JobList& jobs) {
    Chains chains;
    chains.next.assign(jobs.size(), Chains::kEnd);
    std::vector<std::uint32_t> last(jobs.size(), Chains::kEnd);  // the last of a group, kept at its first
    // Ordering only: names that differ in letter case are chained whatever the file system does.
    KeyIndex groups([&](std::size_t i) { return DestinationKey(BackupPath(jobs.dest(i)), true); });
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const std::size_t first = groups.firstWith(i);
        const auto index = static_cast<std::uint32_t>(i);
        if (first == i) {
            chains.heads.push_back(index);
        } else {
            chains.next[last[first]] = index;
        }
        last[first] = index;
    }
    return chains;
}

FileResult Unconverted(const BatchJob& job, Outcome outcome, Problem problem) {
    FileResult r;
    r.source = job.source;
    r.dest = job.dest;
    r.outcome = outcome;
    r.failure = std::move(problem);
    return r;
}

fs::path FolderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

// The same file given twice: the same path as written, the same file on disk, or, where the
// system numbers each spelling of a name anew (FUSE drivers of exFAT), two spellings that the
// folders on the way take for one.
bool SameSource(FileSystem& files, NameKeys& sourceKeys, const fs::path& a, const fs::path& b) {
    if (a.lexically_normal() == b.lexically_normal()) return true;
    FileIdentity x, y;
    if (files.identify(a, x) || files.identify(b, y)) return false;
    if (x == y) return true;
    return !files.identityTrusted(FolderOf(a)) && !files.identityTrusted(FolderOf(b)) &&
           sourceKeys.key(a) == sourceKeys.key(b);
}

// For each job whose destination an earlier job of the batch already has, the index of that
// earlier job; no drawing of a batch may become another's ".BAK".
std::unordered_map<std::uint32_t, std::uint32_t> Clashes(const JobList& jobs,
                                                         const std::function<std::string(const fs::path&)>& keyOf) {
    std::unordered_map<std::uint32_t, std::uint32_t> clashes;
    KeyIndex firsts([&](std::size_t i) { return keyOf(jobs.dest(i)); });
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const std::size_t first = firsts.firstWith(i);
        if (first != i) clashes.emplace(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(first));
    }
    return clashes;
}

// ConvertFile, with whatever it did not expect to throw made that file's failure, so one drawing
// never ends the batch (or, on a worker thread, the program).
FileResult ConvertSafely(ConversionContext& ctx, const BatchJob& job, const std::function<void()>& onStart) {
    try {
        return ConvertFile(ctx, job.source, job.dest, job.named, onStart);
    } catch (const std::bad_alloc&) {
        return Unconverted(job, Outcome::Failed, MakeProblem(ProblemKind::TooLarge, "too large for memory"));
    } catch (const std::exception& e) {
        return Unconverted(job, Outcome::Failed,
                           MakeProblem(ProblemKind::Internal, std::string("internal error: ") + e.what()));
    }
}

// How many drawings, or how many bytes of them, a worker syncs together.
constexpr std::size_t kSyncGroupFiles = 64;
constexpr std::uint64_t kSyncGroupBytes = 64u << 20;

}  // namespace

std::string DestinationKey(const fs::path& path, bool foldCase) {
    // Most paths are written plainly, and are their own normal form.
    const std::string text = PathText(IsPlainPath(path) ? path : path.lexically_normal());
    return foldCase ? Folded(text) : text;
}

BatchSummary RunBatch(FileSystem& files, const JobList& jobs, const BatchPlan& plan, BatchObserver* observer) {
    const auto started = std::chrono::steady_clock::now();
    const ConvertSettings& settings = plan.settings;
    const Chains chains = ChainsOf(jobs);
    const auto destinationKey = [&](const fs::path& dest) {
        return plan.destinationKeys ? plan.destinationKeys->key(dest) : DestinationKey(dest, false);
    };
    const auto clashes = Clashes(jobs, destinationKey);
    // Sources are only read: their folders are never probed by writing, and a folder that
    // cannot tell keeps two spellings for two files (a clash, never a drawing left out).
    NameKeys sourceKeys(files, {}, false);

    BatchSummary summary;
    std::atomic<std::size_t> nextChain{0};
    std::mutex observerMutex;
    auto finished = [&](std::size_t i, const FileResult& result) {
        std::lock_guard lock(observerMutex);
        summary.add(result);
        if (observer) observer->FileFinished(i, result);
    };
    auto work = [&](int worker) {
        ConversionContext ctx(files);
        ctx.settings = settings;
        ctx.syncInGroups = settings.sync && files.canSyncFileSystems();
        ctx.images.TempFolder = plan.tempRoot / ("job-" + std::to_string(worker));
        // A folder that cannot be made fails only the drawings that hold images, each saying
        // why its image bytes cannot be kept.
        (void)files.createDirectory(ctx.images.TempFolder, FolderAccess::Private);
        std::vector<std::size_t> waiting;  // the jobs of the drawings waiting in ctx, in order
        std::uint64_t waitingBytes = 0;
        // The backups the chain under way has made, by name, with the source whose old file each
        // keeps. (A chain's jobs share backup names; no other chain's can meet them.)
        std::map<std::string, std::string> backupsMade;
        auto backupKey = [&](std::size_t i) { return destinationKey(BackupPath(jobs.dest(i))); };
        auto done = [&](std::size_t i, const FileResult& result) {
            if (result.madeBackup) backupsMade.emplace(backupKey(i), PathText(result.source));
            finished(i, result);
        };
        auto finishWaiting = [&] {
            if (waiting.empty()) return;
            const std::vector<FileResult> results = FinishWaiting(ctx);
            for (std::size_t k = 0; k < waiting.size(); ++k) done(waiting[k], results[k]);
            waiting.clear();
            waitingBytes = 0;
        };
        for (std::size_t c; (c = nextChain++) < chains.heads.size();) {
            const bool alone = chains.next[chains.heads[c]] == Chains::kEnd;
            backupsMade.clear();
            for (std::uint32_t i = chains.heads[c]; i != Chains::kEnd; i = chains.next[i]) {
                // The jobs of a chain replace one another's names: each starts once the one
                // before it is in place.
                if (!alone) finishWaiting();
                const BatchJob job = jobs[i];
                FileResult result;
                if (auto clash = clashes.find(i); clash != clashes.end()) {
                    const fs::path first = jobs.source(clash->second);
                    result = SameSource(files, sourceKeys, job.source, first)
                                 ? Unconverted(job, Outcome::Repeated, {})
                                 : Unconverted(
                                       job, Outcome::Failed,
                                       MakeProblem(ProblemKind::Clash,
                                                   PathText(first) + " of this batch is converted to the same name"));
                } else if (job.unreadable) {
                    result = Unconverted(
                        job, Outcome::Failed,
                        MakeProblem(ProblemKind::CannotRead, "cannot read the folder: " + ErrorText(job.unreadable),
                                    job.unreadable));
                } else if (Problem refused = plan.refuseStart ? plan.refuseStart() : Problem{}; !refused.empty()) {
                    result = Unconverted(job, Outcome::Failed, std::move(refused));
                } else if (settings.stop && settings.stop->load()) {
                    result =
                        Unconverted(job, Outcome::NotStarted,
                                    MakeProblem(ProblemKind::Interrupted, "the batch was stopped before it started"));
                } else {
                    const auto taken = alone ? backupsMade.end() : backupsMade.find(backupKey(i));
                    ctx.backupTakenBy = taken == backupsMade.end() ? nullptr : &taken->second;
                    auto onStart = [&] {
                        if (!observer) return;
                        std::lock_guard lock(observerMutex);
                        observer->FileStarted(i, job);
                    };
                    const std::size_t waitingBefore = ctx.waiting.size();
                    result = ConvertSafely(ctx, job, onStart);
                    ctx.backupTakenBy = nullptr;
                    if (ctx.waiting.size() > waitingBefore) {
                        // Synced with others: enough of them to make one sync pay, few enough
                        // that the results still come as the batch goes.
                        waiting.push_back(i);
                        waitingBytes += result.bytesOut;
                        if (waiting.size() >= kSyncGroupFiles || waitingBytes >= kSyncGroupBytes) finishWaiting();
                        continue;
                    }
                }
                done(i, result);
            }
        }
        finishWaiting();
        // What stays goes with the run's temp folder.
        (void)files.removeDirectory(ctx.images.TempFolder);
    };

    const int threads =
        std::clamp<int>(plan.workers, 1, static_cast<int>(std::max<std::size_t>(chains.heads.size(), 1)));
    if (threads == 1) {
        work(0);
    } else {
        std::vector<std::thread> pool;
        for (int w = 0; w < threads; ++w) pool.emplace_back(work, w);
        for (std::thread& t : pool) t.join();
    }
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return summary;
}

}  // namespace quellmark
