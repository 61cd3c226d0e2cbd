// The folders one run writes into: DEST and every folder below it that a drawing goes into. Each
// is taken for the run by its mark before the first drawing goes in (and those between DEST and
// it first, from the top down, so two runs into folders inside one another always meet at the
// higher one first), and then cleared of what runs that were killed left there: their
// interrupted replaces finished or undone, their temp files removed, but only what this user
// made in runs that are dead.
#pragma once

#include "replace.h"
#include "run_marks.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quellmark {

class RunFolders final : public DestinationFolders {
public:
    // dest: DEST held by the session, known to the user as destShown. rules: whether a folder
    // another run holds is waited for, the stop flag, and whom to tell of a wait (folder as the
    // user knows it, and who holds it).
    using Waiting = std::function<void(const std::filesystem::path& folder, const Holder& holder)>;
    RunFolders(FileSystem& fs, RunMarks& marks, const FolderHandle& dest, std::filesystem::path destShown, bool wait,
               const std::atomic<bool>* stop, Waiting waiting);

    // DEST itself, before the batch: Taken, or why not with who holds it.
    RunMarks::Take EnterDest(Holder& holder);

    bool Enter(const std::filesystem::path& shown, const FolderHandle& folder, Problem* problem) override;
    const std::string& RunId() const override { return marks_.self().id; }
    void Left(RunNote note) override;

    // Files and folders of killed runs removed, and notes of what could not be.
    std::int64_t Removed() const;
    std::vector<RunNote> Notes() const;

private:
    struct Folder {
        std::mutex taking;
        bool done = false;
        RunMarks::Take outcome = RunMarks::Take::Unmarked;
        Holder holder;
    };
    RunMarks::Take enterOne(const std::filesystem::path& shown, const FolderHandle& folder, Holder& holder);
    void sweep(const std::filesystem::path& shown, const FolderHandle& folder, const std::vector<FolderEntry>& listing);

    FileSystem& fs_;
    RunMarks& marks_;
    const FolderHandle& dest_;
    std::filesystem::path destShown_;
    bool wait_;
    const std::atomic<bool>* stop_;
    Waiting waiting_;
    mutable std::mutex mutex_;
    std::map<std::filesystem::path, std::unique_ptr<Folder>> folders_;
    std::int64_t removed_ = 0;
    std::vector<RunNote> notes_;
};

}  // namespace quellmark
