// The batch session: DEST's checks, the locks and their wait, the run's temp folder and the sweep
// of killed runs' folders, and the batch between them.
#include "session.h"

#include "../platform/system.h"
#include "replace.h"
#include "run_folders.h"
#include "run_marks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
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
        return !s.empty() && s.size() <= 20 &&
               std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return dash != std::string_view::npos && digits(rest.substr(0, dash)) && digits(rest.substr(dash + 1));
}

SetupProblem Refusal(SetupKind kind, const fs::path& dest, const fs::path& folder = {}, std::error_code ec = {}) {
    return {kind, dest, folder, ec, {}};
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
    (void)file->close();                          // only its name is asked about; it goes below
    SetupProblem problem;
    const fs::path full = files.resolve(request.dest);
    for (const SourceFolder& source : request.sourceFolders) {
        fs::path below;  // from the folder tried up to DEST
        for (fs::path up = full; !up.empty() && !problem; up = ParentFolder(up)) {
            if (files.examine(source.folder / below / name).kind != PathKind::Missing) {
                if (below.empty()) problem = Refusal(SetupKind::DestIsSource, request.dest, source.folder);
                if (!below.empty() && source.tree)
                    problem = Refusal(SetupKind::DestInsideSource, request.dest, source.folder);
            }
            if (!source.tree) break;
            below = up.filename() / below;
        }
        if (problem) break;
    }
    (void)files.remove(probe);  // named as the run's temp files are: a sweep takes one that stays
    return problem;
}

// The run's own folder under the temp base, private to this user and locked while it lives, so
// the folders of this user's runs that were killed (unlocked) are told from live ones and removed
// by the next run. Another user's folders are never touched, nor anything a link leads to.
class RunTempFolder {
public:
    explicit RunTempFolder(FileSystem& files) : files_(files) {}
    ~RunTempFolder() {
        // Every handle on the folder goes first: Windows removes no folder that one holds.
        lock_.reset();
        made_.reset();
        // What will not go now is a killed run's folder to the next run's sweep, which says so.
        if (base_ && !name_.empty()) (void)files_.removeTreeIn(*base_, name_);
    }
    SetupProblem make(const fs::path& given, const fs::path& dest, BatchSummary& summary) {
        fs::path base = given;
        if (base.empty()) {
            if (auto ec = files_.tempFolder(base)) return Refusal(SetupKind::CannotMakeTemp, dest, base, ec);
        } else if (files_.examine(base).kind == PathKind::Missing) {
            (void)files_.createDirectory(base);  // holding it, below, says why when it cannot be had
        }
        if (auto ec = files_.holdFolder(base, base_)) return Refusal(SetupKind::CannotMakeTemp, dest, base, ec);
        sweep(base, summary);
        std::random_device entropy;
        std::error_code ec;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name =
                std::string(kRunFolderPrefix) + std::to_string(ProcessId()) + "-" + std::to_string(entropy() % 1000000);
            ec = files_.createDirectory(base_->path() / name, FolderAccess::Private);
            if (ec == std::errc::file_exists) continue;
            if (ec) break;
            // Entered without following a link, so the folder locked is the one just made.
            std::unique_ptr<FolderHandle> made;
            ec = files_.pinFolder(*base_, name, false, made);
            if (!ec) ec = files_.lockFolder(made->path(), LockMode::Exclusive, lock_);
            if (!ec) {
                name_ = name;
                path_ = made->path();
                made_ = std::move(made);
                return {};
            }
            // Another run's sweep may take a folder between its making and its locking; then it
            // is that run's to remove, and this run makes another.
        }
        return Refusal(SetupKind::CannotMakeTemp, dest, base, ec);
    }
    const fs::path& path() const { return path_; }

private:
    // Folders of this user's runs that were killed: named as this program names them, real
    // folders of this user's (entered without following links), and no live run holds their lock.
    void sweep(const fs::path& base, BatchSummary& summary) {
        std::vector<FolderEntry> entries;
        if (files_.listFolder(base_->path(), entries)) return;
        for (const FolderEntry& entry : entries) {
            if (entry.facts.kind != PathKind::Folder || entry.facts.link || !IsRunFolderName(PathText(entry.name))) {
                continue;
            }
            std::unique_ptr<FolderHandle> theirs;
            if (files_.pinFolder(*base_, entry.name, false, theirs) || !theirs->ownedByThisUser()) continue;
            std::unique_ptr<FolderHandle> locked;
            if (files_.lockFolder(theirs->path(), LockMode::Exclusive, locked)) continue;
            theirs.reset();  // the lock alone is kept: Windows removes no folder a handle holds
            if (auto ec = files_.removeTreeIn(*base_, entry.name)) {
                // Another run's sweep, between this one's look and its lock, took it first.
                if (ec == std::errc::no_such_file_or_directory) continue;
                summary.warnings.push_back(NotRemoved(RunNote::Kind::CannotRemoveLeftover, base / entry.name, ec));
            } else {
                ++summary.leftoversRemoved;
            }
        }
    }

    FileSystem& files_;
    std::unique_ptr<FolderHandle> base_;
    std::string name_;
    fs::path path_;
    std::unique_ptr<FolderHandle> made_;
    std::unique_ptr<FolderHandle> lock_;
};

// Stamps the run's marks now and then while the batch runs, for runs on other machines.
class Heartbeat {
public:
    explicit Heartbeat(RunMarks& marks)
        : thread_([this, &marks] {
              std::unique_lock lock(mutex_);
              while (!done_) {
                  if (!changed_.wait_for(lock, RunMarks::kHeartbeat, [this] { return done_; })) marks.heartbeat();
              }
          }) {}
    ~Heartbeat() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_;
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
        case SetupKind::Busy: return "another conversion is writing into " + f + " (" + holder.text() + ")";
        case SetupKind::Stopped: return "stopped while waiting for another conversion into " + f;
        case SetupKind::CannotMakeTemp: return "cannot create a temporary folder in " + f + why;
    }
    return {};
}

SetupProblem CheckDestination(FileSystem& files, const SessionRequest& request) {
    const PathFacts facts = files.examine(request.dest);
    if (facts.error) return Refusal(SetupKind::CannotReach, request.dest, {}, facts.error);
    if (facts.kind == PathKind::File || facts.kind == PathKind::Other)
        return Refusal(SetupKind::DestNotFolder, request.dest);
    if (facts.kind == PathKind::Missing && !request.createDest && !request.settings.dryRun) {
        return Refusal(SetupKind::DestMissing, request.dest);
    }
    for (const SourceFolder& source : request.sourceFolders) {
        const Place place = PlaceOf(files, request.dest, source.folder);
        if (place == Place::Same) return Refusal(SetupKind::DestIsSource, request.dest, source.folder);
        if (source.tree && place == Place::Inside)
            return Refusal(SetupKind::DestInsideSource, request.dest, source.folder);
    }
    return {};
}

namespace {

// Whether any job's file looks like a drawing: a drawing's name and signature. Only then is a
// missing DEST made, so a mistyped source leaves no empty folder behind.
bool AnyDrawing(FileSystem& files, const JobList& jobs) {
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const fs::path source = jobs.source(i);
        const DrawingFormat format = FormatOfName(source);
        if (format != DrawingFormat::None && HasSignature(files, source, format)) return true;
    }
    return false;
}

// The folders made for DEST, from the top down, so they can go again (innermost first, and only
// while empty) when the run does not go ahead.
class MadeFolders {
public:
    explicit MadeFolders(FileSystem& files) : files_(files) {}
    std::error_code make(const fs::path& dest) {
        std::vector<fs::path> missing;
        for (fs::path up = dest; !up.empty() && files_.examine(up).kind == PathKind::Missing; up = up.parent_path()) {
            missing.push_back(up);
            if (up == up.parent_path() || !up.has_relative_path()) break;
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            const std::error_code ec = files_.createDirectory(*it);
            if (ec && files_.examine(*it).kind != PathKind::Folder) return ec;
            if (!ec) made_.push_back(*it);
        }
        return {};
    }
    void undo() {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            if (files_.removeDirectory(*it)) break;
        }
        made_.clear();
    }

private:
    FileSystem& files_;
    std::vector<fs::path> made_;
};

// DEST as the user named it must go on naming the folder the run holds. Moved away during the
// run (to the Trash, say, or renamed), the folder would go on taking the drawings through the
// handle, where the user no longer looks; so each drawing first asks (one look at the name), and
// once moved the rest fail.
class DestinationWatch {
public:
    DestinationWatch(FileSystem& files, fs::path dest, const FolderHandle* held)
        : files_(files), dest_(std::move(dest)), held_(held) {
        // Without an identity to compare, nothing can be told: the watch says nothing.
        if (held_ && files_.identify(dest_, identity_)) held_ = nullptr;
    }
    bool moved() {
        if (!held_) return false;
        if (moved_) return true;
        FileIdentity now;
        const std::error_code ec = files_.identify(dest_, now);
        const bool gone = ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
        if (gone || (!ec && now != identity_)) moved_ = true;
        return moved_;
    }
    Problem refusal() const {
        return MakeProblem(ProblemKind::DestinationMoved,
                           "the destination " + PathText(dest_) + " was moved or removed during the run");
    }
    // Where the drawings written went, for the run's notes.
    RunNote note() const {
        RunNote moved;
        moved.kind = RunNote::Kind::DestinationMoved;
        moved.path = dest_;
        if (held_) moved.movedTo = held_->whereNow();
        return moved;
    }

private:
    FileSystem& files_;
    fs::path dest_;
    const FolderHandle* held_;
    FileIdentity identity_;
    std::atomic<bool> moved_{false};
};

}  // namespace

SessionResult RunSession(FileSystem& files, const SessionRequest& request, const JobList& jobs, SessionEvents* events) {
    SessionResult result;
    if ((result.setup = CheckDestination(files, request))) return result;
    const bool writes = !request.settings.dryRun;
    MadeFolders made(files);
    if (writes && files.examine(request.dest).kind == PathKind::Missing) {
        if (!AnyDrawing(files, jobs)) {
            // Nothing to write: the batch runs (and says what each file is) with DEST unmade.
            SessionRequest dry = request;
            dry.settings.dryRun = true;
            result = RunSession(files, dry, jobs, events);
            return result;
        }
        if (auto ec = made.make(request.dest)) {
            made.undo();
            result.setup = Refusal(SetupKind::CannotCreateDest, request.dest, {}, ec);
            return result;
        }
    }
    std::unique_ptr<FolderHandle> destHeld;
    RunMarks marks(files, RunIdentity::ForThisProcess());
    auto refuse = [&](SetupProblem problem) {
        (void)marks.release();  // first, so a DEST the run made is empty again
        made.undo();
        result.setup = std::move(problem);
        return result;
    };
    std::unique_ptr<RunFolders> folders;
    if (writes) {
        if (auto ec = files.holdFolder(request.dest, destHeld))
            return refuse(Refusal(SetupKind::CannotReach, request.dest, {}, ec));
        folders =
            std::make_unique<RunFolders>(files, marks, *destHeld, request.dest, request.wait, request.settings.stop,
                                         [events](const fs::path& folder, const Holder& holder) {
                                             if (events) events->Waiting(folder, holder);
                                         });
        Holder holder;
        switch (folders->EnterDest(holder)) {
            case RunMarks::Take::Busy: {
                SetupProblem busy = Refusal(SetupKind::Busy, request.dest, request.dest);
                busy.holder = holder;
                return refuse(std::move(busy));
            }
            case RunMarks::Take::Stopped: return refuse(Refusal(SetupKind::Stopped, request.dest, request.dest));
            default: break;
        }
        if (!files.identityTrusted(request.dest)) {
            if (SetupProblem problem = ProbeSources(files, request)) return refuse(std::move(problem));
        }
    }
    // Every folder a drawing goes into is asked whether it folds letter case (by a probe file
    // only in DEST and below); where nothing tells, names that differ in case are taken for one.
    NameKeys destinationKeys(files, writes ? request.dest : fs::path(), true);

    BatchSummary setupNotes;
    RunTempFolder temp(files);
    if (SetupProblem problem = temp.make(request.tempBase, request.dest, setupNotes)) return refuse(std::move(problem));

    BatchPlan plan;
    plan.workers = request.workers > 0 ? request.workers : CoreCount();
    plan.destinationKeys = &destinationKeys;
    plan.tempRoot = temp.path();
    plan.settings = request.settings;
    plan.settings.destFolder = request.dest;
    plan.settings.destHeld = destHeld.get();
    plan.settings.createFolders = request.createFolders;
    plan.settings.folders = folders.get();
    DestinationWatch watch(files, request.dest, destHeld.get());
    plan.refuseStart = [&watch] { return watch.moved() ? watch.refusal() : Problem{}; };
    {
        std::optional<Heartbeat> heartbeat;
        if (writes) heartbeat.emplace(marks);
        result.summary = RunBatch(files, jobs, plan, events);
        if (request.finish) request.finish(destHeld.get());
    }
    result.summary.leftoversRemoved += setupNotes.leftoversRemoved + (folders ? folders->Removed() : 0);
    result.summary.warnings = setupNotes.warnings;
    if (folders) {
        for (RunNote& note : folders->Notes()) result.summary.warnings.push_back(std::move(note));
    }
    for (RunNote& mark : marks.release()) result.summary.warnings.push_back(std::move(mark));
    if (watch.moved()) result.summary.warnings.insert(result.summary.warnings.begin(), watch.note());
    return result;
}

}  // namespace quellmark
