// One batch run as every front end starts it. The session, not the front ends, owns what a run
// promises: DEST checked against the sources (by identity, however spelled), DEST and each folder
// below it taken by the run's mark before it is written (waiting, as long as asked and stoppable,
// for another run that holds it), so that no two runs ever write one folder at once, the run's
// temp folder and the sweep of what this user's killed runs left, the worker count, and one
// destination key that folds letter case wherever the folders it writes into do. The command
// line and the window only present its events and its result.
#pragma once

#include "batch.h"
#include "run_marks.h"

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace quellmark {

struct SourceFolder {
    std::filesystem::path folder;
    bool tree = false;  // its whole tree is converted: DEST may not lie anywhere inside it either
};

struct SessionRequest {
    std::filesystem::path dest;               // DEST as the user names it
    std::vector<SourceFolder> sourceFolders;  // DEST may not be one of these
    bool createDest = false;                  // make DEST (and folders above it) when missing
    bool createFolders = false;               // a tree mirrored under DEST: missing folders are made
    int workers = 0;                          // conversions at a time; 0: one per core
    bool wait = true;                         // wait for another run into DEST rather than fail
    // sync, dryRun, keepTimes and stop are the caller's; the session fills in the rest. The stop
    // flag also ends the wait for another run.
    ConvertSettings settings;
    std::filesystem::path tempBase;  // where the run's temp folder goes; empty: the system's
    // Called once the batch has ended, while the run still holds DEST (held open; null in a dry
    // run): what the front end writes at the end of a run (a list of failures) goes through it.
    std::function<void(const FolderHandle* destHeld)> finish;
};

// Why a session did not run its batch.
enum class SetupKind {
    None,
    CannotReach,       // DEST cannot be examined
    DestNotFolder,     // DEST is a file or something else
    DestMissing,       // DEST is not there, and was not to be made
    DestIsSource,      // DEST is a source folder, however spelled
    DestInsideSource,  // DEST lies inside a source folder whose tree is converted
    CannotCreateDest,
    Busy,            // another run holds DEST, and the run was not to wait
    Stopped,         // stopped while it waited for another run
    CannotMakeTemp,  // no temp folder for the run
};

struct SetupProblem {
    SetupKind kind = SetupKind::None;
    std::filesystem::path dest;
    std::filesystem::path folder;  // the source folder, the folder another run holds, the temp base
    std::error_code error;
    Holder holder;  // who holds DEST, when it is busy

    explicit operator bool() const { return kind != SetupKind::None; }
    // For people, in English: "the destination out is the source folder ./drawings".
    std::string message() const;
};

// The events of a run, from the thread that runs it and, for files, from its workers.
class SessionEvents : public BatchObserver {
public:
    // Another run holds `folder` (DEST, or a folder below it that a drawing goes into); the run
    // waits for it, until the stop flag is set. Told once for each folder, from any thread.
    virtual void Waiting(const std::filesystem::path& /*folder*/, const Holder& /*holder*/) {}
};

struct SessionResult {
    SetupProblem setup;
    BatchSummary summary;
};

// DEST against the sources, without writing anything: what it is, and whether it is a source
// folder or lies inside one, compared by identity from DEST up to its root, so no spelling
// (case, links, a \\?\ prefix) hides the source.
SetupProblem CheckDestination(FileSystem& fs, const SessionRequest& request);

// The whole run: the checks, DEST made when asked (and only when some file looks like a drawing),
// DEST taken (waiting as asked), the temp folder and the sweep, the batch, and the clean-up. DEST
// busy or a temp folder that cannot be had ends the run before any drawing is touched, and a
// DEST the run made goes again. A dry run writes nothing, so it leaves no mark and makes no
// folder in DEST.
SessionResult RunSession(FileSystem& fs, const SessionRequest& request, const JobList& jobs, SessionEvents* events);

}  // namespace quellmark
