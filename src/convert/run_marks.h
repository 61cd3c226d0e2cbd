// A run's presence in the folders it writes: a small mark file in each (".qm-ID.run") that says
// which process of which user on which machine runs it, and whether it holds the folder or only
// waits for it. Two runs never write one folder at once: a run takes a folder only while no
// other live run holds it, however either reached the folder (another spelling on a drive that
// folds case, a bind mount, a share). Only a user who can write the folder can leave a mark in
// it, so no one else can stall a run. The names of every file a run makes carry its id, so a
// run removes only what runs that are dead have left.
#pragma once

#include "problem.h"

#include "../platform/files.h"
#include "../platform/system.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quellmark {

// Who a run is, as its marks tell others.
struct RunIdentity {
    std::string id;  // ten random letters and digits
    ProcessStamp process;
    std::uint32_t user = 0;
    std::string userName;
    std::string host;
    std::int64_t since = 0;  // when the run began, in nanoseconds since 1970: the earlier goes first

    static RunIdentity ForThisProcess();
};

// The names a run gives its files in a folder: its mark ".qm-ID.run", its temp files
// ".qm-ID-XXXXXX.tmp" and the records of its replaces ".qm-ID-XXXXXX.rep" (X random). An empty
// id stands for a run of its own, made up on the spot.
std::string MarkName(std::string_view id);
std::string RunTempName(std::string_view id);
std::string RecordName(std::string_view id);
enum class RunFileKind { None, Mark, Temp, Record };
// Which of the three a name is, with the id it carries.
RunFileKind KindOfRunFile(std::string_view name, std::string& id);

// Who holds a folder, as its mark tells: a process of a user, on this machine or another; or an
// unknown process (a mark that cannot be read).
struct Holder {
    bool known = false;
    std::uint64_t pid = 0;
    std::string user;
    std::string host;  // empty on this machine
    // "process 1234 of bob", "process 1234 of bob on pc2", "an unknown process"
    std::string text() const;
};

// What a mark tells of the run that left it.
struct MarkSeen {
    bool there = false;    // a mark of that name could be opened
    bool alive = false;    // its run still runs (or nothing shows it does not)
    bool holding = false;  // it holds the folder, rather than waits for it
    std::uint32_t owner = 0;
    Holder holder;
    RunIdentity run;
};
// Looks at the mark `name` in the folder reached as `folder`. locksTrusted: a free lock on the
// mark means its run has ended (false where the file system numbers files anew for each
// spelling, so a lock taken through one name is not seen through another).
MarkSeen LookAtMark(FileSystem& fs, const std::filesystem::path& folder, const std::string& name, bool locksTrusted);

// The marks of one run.
class RunMarks {
public:
    RunMarks(FileSystem& fs, RunIdentity self);
    ~RunMarks();
    RunMarks(const RunMarks&) = delete;
    RunMarks& operator=(const RunMarks&) = delete;

    const RunIdentity& self() const { return self_; }

    enum class Take { Taken, Busy, Stopped, Unmarked };
    struct Rules {
        bool wait = true;                         // wait for the holder, rather than give up
        const std::atomic<bool>* stop = nullptr;  // ends the wait
        // Told once, when the run starts to wait, who holds the folder.
        std::function<void(const Holder& holder)> waiting;
    };
    // Leaves this run's mark in the folder, then waits until no other live run holds it and
    // takes it. Unmarked: the mark could not be made (a folder this user cannot write), so the
    // run goes on without it; whatever it writes there fails on its own. Busy and Stopped leave
    // the mark saying it waits, until release. holder: who held the folder, when it was busy.
    // listing: the folder's entries as last seen, for the caller's sweep.
    // shown: the folder as the user knows it, for what release says.
    Take take(const FolderHandle& folder, const std::filesystem::path& shown, const Rules& rules, Holder& holder,
              std::vector<FolderEntry>* listing = nullptr);

    // Whether the run of that id still runs, by its mark in the folder (no mark: it does not).
    bool alive(const std::filesystem::path& folder, const std::string& id, bool locksTrusted);

    // Stamps every mark with the time, so that runs on machines that cannot see this one's
    // locks know it lives; a run calls it every kHeartbeat.
    static constexpr std::chrono::seconds kHeartbeat{60};
    void heartbeat();

    // Removes every mark; a note for each that cannot be removed.
    std::vector<RunNote> release();

private:
    struct Held {
        std::unique_ptr<FolderHandle> folder;
        std::filesystem::path shown;
        std::unique_ptr<OutputFile> file;
        std::uint64_t stateAt = 0;
        bool locksTrusted = true;
    };
    bool setState(Held& held, bool holding);
    // The other live runs that hold the folder; also keeps the listing.
    std::vector<MarkSeen> holders(const Held& held, std::vector<FolderEntry>& listing);

    FileSystem& fs_;
    RunIdentity self_;
    std::string text_;  // the mark's content, its state last
    std::mutex mutex_;
    std::vector<std::unique_ptr<Held>> held_;
};

}  // namespace quellmark
