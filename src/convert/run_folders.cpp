// Taking the folders of a run one by one, and clearing each of what killed runs left.
#include "run_folders.h"

#include "../platform/system.h"

#include <map>

namespace quellmark {

namespace fs = std::filesystem;

RunFolders::RunFolders(FileSystem& files, RunMarks& marks, const FolderHandle& dest, fs::path destShown, bool wait,
                       const std::atomic<bool>* stop, Waiting waiting)
    : fs_(files),
      marks_(marks),
      dest_(dest),
      destShown_(std::move(destShown)),
      wait_(wait),
      stop_(stop),
      waiting_(std::move(waiting)) {}

RunMarks::Take RunFolders::EnterDest(Holder& holder) { return enterOne(destShown_, dest_, holder); }

RunMarks::Take RunFolders::enterOne(const fs::path& shown, const FolderHandle& folder, Holder& holder) {
    Folder* entry = nullptr;
    {
        std::lock_guard lock(mutex_);
        std::unique_ptr<Folder>& slot = folders_[shown.lexically_normal()];
        if (!slot) slot = std::make_unique<Folder>();
        entry = slot.get();
    }
    // A worker that comes second to a folder waits here until the first has taken and cleared
    // it, so its temp file is never taken for a leftover.
    std::lock_guard taking(entry->taking);
    if (!entry->done) {
        std::vector<FolderEntry> listing;
        RunMarks::Rules rules;
        rules.wait = wait_;
        rules.stop = stop_;
        rules.waiting = [&](const Holder& who) {
            std::lock_guard lock(mutex_);
            if (waiting_) waiting_(shown, who);
        };
        entry->outcome = marks_.take(folder, shown, rules, entry->holder, &listing);
        entry->done = true;
        if (entry->outcome == RunMarks::Take::Taken) sweep(shown, folder, listing);
    }
    holder = entry->holder;
    return entry->outcome;
}

bool RunFolders::Enter(const fs::path& shown, const FolderHandle& folder, Problem* problem) {
    Holder holder;
    auto refused = [&](const fs::path& where, RunMarks::Take outcome) {
        if (!problem) return false;
        *problem = outcome == RunMarks::Take::Stopped
                       ? MakeProblem(ProblemKind::Interrupted,
                                     "stopped while waiting for another conversion into " + PathText(where))
                       : MakeProblem(ProblemKind::CannotWrite, "another conversion is writing into " + PathText(where) +
                                                                   " (" + holder.text() + ")");
        return false;
    };
    auto ok = [](RunMarks::Take outcome) {
        return outcome == RunMarks::Take::Taken || outcome == RunMarks::Take::Unmarked;
    };
    // The folders between DEST and this one first, from the top down.
    const fs::path below = PathBelow(shown, destShown_);
    fs::path above;
    std::size_t parts = 0;
    for (auto it = below.begin(); it != below.end(); ++it) ++parts;
    std::size_t part = 0;
    for (const fs::path& name : below) {
        if (++part == parts) break;
        above /= name;
        std::unique_ptr<FolderHandle> held;
        if (const std::error_code ec = fs_.pinFolder(dest_, above, false, held)) {
            if (problem)
                *problem = MakeProblem(ProblemKind::CannotWrite,
                                       "cannot write into " + PathText(destShown_ / above) + ": " + ErrorText(ec), ec);
            return false;
        }
        const RunMarks::Take outcome = enterOne(destShown_ / above, *held, holder);
        if (!ok(outcome)) return refused(destShown_ / above, outcome);
    }
    const RunMarks::Take outcome = enterOne(shown, folder, holder);
    return ok(outcome) || refused(shown, outcome);
}

void RunFolders::Left(RunNote note) {
    std::lock_guard lock(mutex_);
    notes_.push_back(std::move(note));
}

std::int64_t RunFolders::Removed() const {
    std::lock_guard lock(mutex_);
    return removed_;
}

std::vector<RunNote> RunFolders::Notes() const {
    std::lock_guard lock(mutex_);
    return notes_;
}

void RunFolders::sweep(const fs::path& shown, const FolderHandle& folder, const std::vector<FolderEntry>& listing) {
    const fs::path& reached = folder.path();
    const bool locksTrusted = fs_.identityTrusted(reached);
    const std::uint32_t me = ThisUserId();
    std::map<std::string, bool> dead;  // by run id
    std::int64_t removed = 0;
    std::int64_t othersLeft = 0;
    std::vector<RunNote> notes;
    auto runIsDead = [&](const std::string& id) {
        auto [it, fresh] = dead.try_emplace(id, false);
        if (fresh) it->second = !marks_.alive(reached, id, locksTrusted);
        return it->second;
    };
    auto removeOne = [&](const fs::path& name) {
        if (const std::error_code ec = fs_.remove(reached / name)) {
            if (ec != std::errc::no_such_file_or_directory) {
                notes.push_back(NotRemoved(RunNote::Kind::CannotRemoveLeftover, shown / name, ec));
            }
        } else {
            ++removed;
        }
    };
    // Records first (they name temp files of theirs), then temp files and older versions'
    // leftovers, then the marks of the dead runs.
    for (const RunFileKind pass : {RunFileKind::Record, RunFileKind::Temp, RunFileKind::Mark}) {
        for (const FolderEntry& entry : listing) {
            if (entry.facts.kind != PathKind::File || entry.facts.link) continue;
            const std::string name = PathText(entry.name);
            std::string id;
            const RunFileKind kind = KindOfRunFile(name, id);
            const bool older = kind == RunFileKind::None && IsLeftoverName(name);
            if (kind != pass && !(older && pass == RunFileKind::Temp)) continue;
            if (!older && (id == marks_.self().id || !runIsDead(id))) continue;
            if (entry.facts.owner != me) {
                ++othersLeft;
                continue;
            }
            if (kind == RunFileKind::Record) {
                const std::size_t before = notes.size();
                RecoverReplace(fs_, reached, entry.name, notes);
                for (std::size_t i = before; i < notes.size(); ++i) notes[i].path = shown / notes[i].path;
                ++removed;
            } else {
                removeOne(entry.name);
            }
        }
    }
    if (othersLeft > 0) {
        RunNote others;
        others.kind = RunNote::Kind::OthersLeft;
        others.path = shown;
        others.count = othersLeft;
        notes.push_back(std::move(others));
    }
    std::lock_guard lock(mutex_);
    removed_ += removed;
    for (RunNote& note : notes) notes_.push_back(std::move(note));
}

}  // namespace quellmark
