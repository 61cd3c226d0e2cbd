// The batch session: DEST's checks, the locks and their wait, the run's temp folder and the sweep
// of killed runs' folders, and the batch between them.
#include "session.h"

#include "../platform/system.h"
#include "replace.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <thread>

namespace quellmark {

namespace fs = std::filesystem;

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

SetupProblem Refusal(SetupKind kind, const fs::path& dest, const fs::path& folder = {}, std::error_code ec = {}) {
    return {kind, dest, folder, ec};
}

enum class Place { Apart, Same, Inside };

// Where dest stands to the folder: by identity from dest up through each folder above it, so
// no spelling hides the folder (the part of dest not there yet is passed over); by the resolved
// spelling where identity says nothing.
Place PlaceOf(FileSystem& files, const fs::path& dest, const fs::path& folder) {
    const fs::path full = files.resolve(dest);
    FileIdentity target;
    if (!files.identify(folder, target)) {
        for (fs::path up = full; !up.empty(); up = ParentFolder(up)) {
            FileIdentity here;
            if (!files.identify(up, here) && here == target) return up == full ? Place::Same : Place::Inside;
        }
    }
    const fs::path source = files.resolve(folder);
    if (full == source) return Place::Same;
    return IsWithin(full, source, false) ? Place::Inside : Place::Apart;
}

// Where identity cannot be trusted (FUSE drivers number each spelling anew), a file made in DEST
// must not be seen through a source folder's spelling: not as the folder itself, nor, for a tree,
// below it.
SetupProblem ProbeSources(FileSystem& files, const SessionRequest& request) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937_64 random{std::random_device{}()};
    std::string name = ".qm-";
    for (int i = 0; i < 10; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    name += ".tmp";
    const fs::path probe = request.dest / name;
    std::unique_ptr<OutputFile> file;
    if (files.createNew(probe, file)) return {};  // DEST cannot be written: every drawing will say so
    (void)file->close();
    SetupProblem problem;
    const fs::path full = files.resolve(request.dest);
    for (const SourceFolder& source : request.sourceFolders) {
        fs::path below;  // from the folder tried up to DEST
        for (fs::path up = full; !up.empty() && !problem; up = ParentFolder(up)) {
            if (files.examine(source.folder / below / name).kind != PathKind::Missing) {
                if (below.empty()) problem = Refusal(SetupKind::DestIsSource, request.dest, source.folder);
                if (!below.empty() && source.tree) problem = Refusal(SetupKind::DestInsideSource, request.dest, source.folder);
            }
            if (!source.tree) break;
            below = up.filename() / below;
        }
        if (problem) break;
    }
    (void)files.remove(probe);
    return problem;
}

// The locks of a run: shared ones on each folder above DEST, from the root down, and DEST's own,
// exclusive. A run into a folder above DEST holds that folder exclusively, one into a folder
// inside DEST holds DEST shared: either way the two never write one folder at once. Folders
// above DEST that cannot be opened (another user's) are passed over.
class RunLocks {
public:
    // The folder whose lock another run holds, or an error; all or nothing is held.
    std::error_code take(FileSystem& files, const fs::path& dest, fs::path& busy) {
        held_.clear();
        std::vector<fs::path> above;
        for (fs::path up = ParentFolder(files.resolve(dest)); !up.empty(); up = ParentFolder(up)) above.push_back(up);
        for (auto it = above.rbegin(); it != above.rend(); ++it) {
            std::unique_ptr<FolderHandle> lock;
            const std::error_code ec = files.lockFolder(*it, LockMode::Shared, lock);
            if (ec == std::errc::resource_unavailable_try_again) return busy = *it, release(ec);
            if (!ec) held_.push_back(std::move(lock));
        }
        std::unique_ptr<FolderHandle> own;
        const std::error_code ec = files.lockFolder(dest, LockMode::Exclusive, own);
        if (ec) return busy = dest, release(ec);
        held_.push_back(std::move(own));
        return {};
    }
    const FolderHandle& dest() const { return *held_.back(); }
    ~RunLocks() { release({}); }

private:
    std::error_code release(std::error_code ec) {
        while (!held_.empty()) held_.pop_back();  // the innermost first
        return ec;
    }
    std::vector<std::unique_ptr<FolderHandle>> held_;
};

bool Stopped(const ConvertSettings& settings) { return settings.stop && settings.stop->load(); }

SetupProblem TakeLocks(FileSystem& files, const SessionRequest& request, SessionEvents* events, RunLocks& locks) {
    bool told = false;
    for (;;) {
        fs::path busy;
        const std::error_code ec = locks.take(files, request.dest, busy);
        if (!ec) return {};
        if (ec != std::errc::resource_unavailable_try_again) return Refusal(SetupKind::CannotLock, request.dest, busy, ec);
        if (!request.wait) return Refusal(SetupKind::Busy, request.dest, busy);
        if (!told && events) events->Waiting(busy);
        told = true;
        // Polled, so a stop (Ctrl-C, the window's 中止) ends the wait at once.
        for (int i = 0; i < 10; ++i) {
            if (Stopped(request.settings)) return Refusal(SetupKind::Stopped, request.dest, busy);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

// The run's own folder under the temp base, locked while it lives, so the folders of runs that
// were killed (unlocked) are told from live ones and removed by the next run.
class RunTempFolder {
public:
    explicit RunTempFolder(FileSystem& files) : files_(files) {}
    ~RunTempFolder() {
        lock_.reset();
        if (!path_.empty()) (void)RemoveTree(files_, path_);
    }
    SetupProblem make(const fs::path& given, const fs::path& dest, BatchSummary& summary) {
        fs::path base = given;
        if (base.empty()) {
            if (auto ec = files_.tempFolder(base)) return Refusal(SetupKind::CannotMakeTemp, dest, base, ec);
        } else if (files_.examine(base).kind == PathKind::Missing) {
            (void)files_.createDirectory(base);
        }
        sweep(base, summary);
        std::random_device entropy;
        std::error_code ec;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path path = base / (std::string(kRunFolderPrefix) + std::to_string(ProcessId()) + "-" +
                                          std::to_string(entropy() % 1000000));
            ec = files_.createDirectory(path, FolderAccess::Private);
            if (ec == std::errc::file_exists) continue;
            if (ec) break;
            // Another run's sweep may take a folder between its making and its locking; then it
            // is that run's to remove, and this run makes another.
            if (!files_.lockFolder(path, LockMode::Exclusive, lock_)) {
                path_ = path;
                return {};
            }
        }
        return Refusal(SetupKind::CannotMakeTemp, dest, base, ec);
    }
    const fs::path& path() const { return path_; }

private:
    // Folders of runs that were killed: named as this program names them, and no live run holds
    // their lock.
    void sweep(const fs::path& base, BatchSummary& summary) {
        std::vector<FolderEntry> entries;
        if (files_.listFolder(base, entries)) return;
        for (const FolderEntry& entry : entries) {
            if (entry.facts.kind != PathKind::Folder || entry.facts.link || !IsRunFolderName(PathText(entry.name))) {
                continue;
            }
            const fs::path folder = base / entry.name;
            std::unique_ptr<FolderHandle> theirs;
            if (files_.lockFolder(folder, LockMode::Exclusive, theirs)) continue;
            if (auto ec = RemoveTree(files_, folder)) {
                summary.warnings.push_back("cannot remove " + PathText(folder) + ", left by a run that was killed: " +
                                           ErrorText(ec));
            } else {
                ++summary.leftoversRemoved;
            }
        }
    }

    FileSystem& files_;
    fs::path path_;
    std::unique_ptr<FolderHandle> lock_;
};

}  // namespace

std::string SetupProblem::message() const {
    const std::string d = PathText(dest);
    const std::string f = PathText(folder);
    const std::string why = error ? ": " + ErrorText(error) : std::string();
    switch (kind) {
        case SetupKind::None: return {};
        case SetupKind::CannotReach: return "cannot reach the destination " + d + why;
        case SetupKind::DestNotFolder: return "the destination " + d + " is not a folder";
        case SetupKind::DestMissing: return "the destination folder " + d + " does not exist";
        case SetupKind::DestIsSource: return "the destination " + d + " is the source folder " + f;
        case SetupKind::DestInsideSource: return "the destination " + d + " lies inside the source folder " + f;
        case SetupKind::CannotCreateDest: return "cannot create the destination " + d + why;
        case SetupKind::Busy: return "another conversion is writing into " + f;
        case SetupKind::CannotLock: return "cannot lock " + f + why;
        case SetupKind::Stopped: return "stopped while waiting for another conversion into " + f;
        case SetupKind::CannotMakeTemp: return "cannot create a temporary folder in " + f + why;
    }
    return {};
}

SetupProblem CheckDestination(FileSystem& files, const SessionRequest& request) {
    const PathFacts facts = files.examine(request.dest);
    if (facts.error) return Refusal(SetupKind::CannotReach, request.dest, {}, facts.error);
    if (facts.kind == PathKind::File || facts.kind == PathKind::Other) return Refusal(SetupKind::DestNotFolder, request.dest);
    if (facts.kind == PathKind::Missing && !request.createDest && !request.settings.dryRun) {
        return Refusal(SetupKind::DestMissing, request.dest);
    }
    for (const SourceFolder& source : request.sourceFolders) {
        const Place place = PlaceOf(files, request.dest, source.folder);
        if (place == Place::Same) return Refusal(SetupKind::DestIsSource, request.dest, source.folder);
        if (source.tree && place == Place::Inside) return Refusal(SetupKind::DestInsideSource, request.dest, source.folder);
    }
    return {};
}

SessionResult RunSession(FileSystem& files, const SessionRequest& request, const JobList& jobs, SessionEvents* events) {
    SessionResult result;
    if ((result.setup = CheckDestination(files, request))) return result;
    const bool writes = !request.settings.dryRun;
    if (writes && files.examine(request.dest).kind == PathKind::Missing) {
        if (auto ec = CreateFolders(files, request.dest)) {
            result.setup = Refusal(SetupKind::CannotCreateDest, request.dest, {}, ec);
            return result;
        }
    }
    RunLocks locks;
    if (writes) {
        if ((result.setup = TakeLocks(files, request, events, locks))) return result;
        if (!files.identityTrusted(request.dest) && (result.setup = ProbeSources(files, request))) return result;
    }
    // Every folder a drawing goes into is asked whether it folds letter case (by a probe file
    // only in DEST and below); where nothing tells, names that differ in case are taken for one.
    NameKeys destinationKeys(files, writes ? request.dest : fs::path(), true);

    BatchSummary setupNotes;
    RunTempFolder temp(files);
    if ((result.setup = temp.make(request.tempBase, request.dest, setupNotes))) return result;

    LeftoverSweep sweep(files);
    BatchPlan plan;
    plan.workers = request.workers > 0 ? request.workers : CoreCount();
    plan.destinationKeys = &destinationKeys;
    plan.tempRoot = temp.path();
    plan.settings = request.settings;
    plan.settings.destFolder = request.dest;
    plan.settings.destHeld = writes ? &locks.dest() : nullptr;
    plan.settings.createFolders = request.createFolders;
    plan.settings.sweep = writes ? &sweep : nullptr;
    result.summary = RunBatch(files, jobs, plan, events);
    result.summary.leftoversRemoved += setupNotes.leftoversRemoved + sweep.Removed();
    result.summary.warnings = setupNotes.warnings;
    for (const std::string& left : sweep.Unremoved()) {
        result.summary.warnings.push_back("cannot remove " + left + " (left by a run that was killed)");
    }
    return result;
}

}  // namespace quellmark
