// `quellmark-cli convert`: converts the drawings among files and folders into a destination
// folder, in parallel, with backups of what was there and a summary of what happened.
#include "../convert/case_fold.h"
#include "../convert/name_keys.h"
#include "../convert/replace.h"
#include "../convert/session.h"
#include "../platform/console.h"
#include "../platform/system.h"
#include "commands.h"
#include "convert_report.h"
#include "lists.h"
#include "shown.h"
#include "walk.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <memory>
#include <optional>

namespace quellmark::cli {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> gInterrupted{false};
std::atomic<int> gSignal{0};  // the signal that stopped the batch

struct ConvertOptions {
    std::vector<fs::path> sources;
    std::string dest;
    bool recursive = false;
    bool hidden = false;
    std::string jobs;  // checked by JobsOf
    bool dryRun = false;
    bool json = false;
    bool quiet = false;
    bool noSync = false;
    bool noWait = false;
    bool keepTimes = false;
    bool dropTrailingBytes = false;
    std::string filesFrom;  // a list of the files to convert instead of walking the sources
    std::string failedTo;   // a list of the files that failed, for --files-from
    bool nulSeparated = false;
};

// The workers -j asks for; 0 (the cores) when it is not given.
int JobsOf(const std::string& text) {
    if (text.empty()) return 0;
    int jobs = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (ec != std::errc() || end != text.data() + text.size() || jobs < 1 || jobs > 256) {
        throw UsageError("-j needs a whole number from 1 to 256, not '" + text + "'");
    }
    return jobs;
}

// The session for the options: every folder a drawing comes from is a source folder DEST may
// not be (a file's own folder too); with -r DEST may not lie in a source's tree either. A list
// is fixed before the batch starts, so DEST may lie inside a folder listed files are placed
// from: its drawings are not walked into.
SessionRequest RequestOf(FileSystem& files, const ConvertOptions& options) {
    SessionRequest request;
    request.dest = PathFromText(options.dest);
    const bool listed = !options.filesFrom.empty();
    for (const fs::path& source : options.sources) {
        if (files.examine(source).kind == PathKind::Folder) {
            request.sourceFolders.push_back({source, options.recursive && !listed});
        } else {
            const fs::path parent = source.parent_path();
            request.sourceFolders.push_back({parent.empty() ? fs::path(".") : parent, false});
        }
    }
    if (listed && options.sources.empty()) request.sourceFolders.push_back({".", false});
    request.createDest = true;
    request.createFolders = true;
    request.workers = JobsOf(options.jobs);
    request.wait = !options.noWait;
    request.settings.sync = !options.noSync;
    request.settings.dryRun = options.dryRun;
    request.settings.keepTimes = options.keepTimes;
    request.settings.dropTrailingBytes = options.dropTrailingBytes;
    request.settings.stop = &gInterrupted;
    return request;
}

// The jobs the sources (or the listed files) stand for, each placed under DEST as a walk places it.
JobList PlanJobs(FileSystem& files, const ConvertOptions& options, const fs::path& dest, WalkCounts& walk) {
    JobList jobs;
    const auto add = [&](const SourceFile& file) {
        if (file.unreadable) {
            jobs.addUnreadableFolder(file.path, dest / file.relative, file.unreadable);
        } else {
            jobs.add(file.path, dest / file.relative, file.size, file.named);
        }
    };
    const WalkOptions walkOptions{options.recursive, options.hidden, true};
    if (options.filesFrom.empty()) {
        walk = WalkSources(files, options.sources, walkOptions, add);
    } else {
        PathList list;
        ReadPathList(files, options.filesFrom, options.nulSeparated, list);
        walk = ListedFiles(files, list.entries, options.sources, walkOptions, add);
    }
    return jobs;
}

// The list of failures is written over whatever has its name at the end of the run: never over
// a drawing of the batch, read or written, nor over a backup the batch keeps, in any spelling
// that the folders on the way take for the same name.
void CheckFailedList(FileSystem& files, const fs::path& list, const fs::path& dest, const JobList& jobs) {
    const fs::path here = fs::current_path();
    const auto spelled = [&](const fs::path& path) { return (here / path).lexically_normal(); };
    // Its folder must be there by the end: now, or made with DEST.
    const fs::path folder = list.parent_path().empty() ? fs::path(".") : list.parent_path();
    if (files.examine(folder).kind != PathKind::Folder && !IsWithin(spelled(folder), spelled(dest), false)) {
        throw UsageError("cannot write the list " + PathText(list) + ": no such folder");
    }
    // A folder that cannot tell is taken to fold: a list refused only costs another name.
    NameKeys keys(files, {}, true);
    const std::string target = keys.key(spelled(list));
    const std::string name = Folded(PathText(list.filename()));
    FileIdentity listed;
    const bool exists = !files.identify(list, listed);
    auto names = [&](const fs::path& path) {
        // Only a path whose own name folds as the list's may be the list: the rest is asked only then.
        if (Folded(PathText(path.filename())) != name) return false;
        if (keys.key(spelled(path)) == target) return true;
        FileIdentity other;  // a link to it, another mount of its folder
        return exists && !files.identify(path, other) && other == listed;
    };
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const fs::path source = jobs.source(i);
        const fs::path destination = jobs.dest(i);
        const fs::path backup = BackupPath(destination);
        const fs::path* named = names(source)        ? &source
                                : names(destination) ? &destination
                                : names(backup)      ? &backup
                                                     : nullptr;
        if (named) {
            throw UsageError("--failed-to " + PathText(list) + " names " +
                             (named == &backup ? "a backup" : "a drawing") + " of this batch (" + PathText(*named) +
                             "); choose another file for the list");
        }
    }
}

int Run(const ConvertOptions& options) {
    FileSystem& files = RealFileSystem();
    if (options.dest.empty()) throw UsageError("no destination given: -o DEST names the folder to write into");
    SessionRequest request = RequestOf(files, options);
    JobList jobs;
    WalkCounts walk;
    std::optional<FailedList> failedList;
    // The list's folder, held from the checks on where it is there already: the list goes into
    // that very folder whatever happens to its name meanwhile.
    std::unique_ptr<FolderHandle> listFolder;
    try {
        if (options.sources.empty() && options.filesFrom.empty()) throw UsageError("no SOURCE given, nor --files-from");
        if (const SetupProblem problem = CheckDestination(files, request)) throw UsageError(problem.message());
        jobs = PlanJobs(files, options, request.dest, walk);
        if (!options.failedTo.empty()) {
            failedList.emplace(PathFromText(options.failedTo), options.nulSeparated);
            CheckFailedList(files, failedList->file(), request.dest, jobs);
            const fs::path folder = failedList->file().parent_path();
            // Unheld, the list is written by its name, and a failure to write it is said then.
            (void)files.holdFolder(folder.empty() ? fs::path(".") : folder, listFolder);
        }
    } catch (const UsageError& e) {
        return RefuseUsage(e.what(), "convert");
    }
    ReportWalk(walk);

    // The first Ctrl-C (or SIGTERM, or SIGHUP) lets the conversions under way finish and starts
    // no more; a second one ends the program at once. It also ends a wait for another run.
    CatchInterrupts(gInterrupted, gSignal);
    const int workers = request.workers > 0 ? request.workers : CoreCount();
    BatchReport report({options.json, options.quiet, options.dryRun}, jobs, workers,
                       failedList ? &*failedList : nullptr);
    bool listWritten = true;
    std::string listProblem;
    // Written while the run still holds DEST: a list that goes into a folder made in DEST by
    // the run is reached from DEST as the run holds it, never by its name.
    request.finish = [&](const FolderHandle* dest) {
        if (!failedList) return;
        report.FlushLines();
        std::unique_ptr<FolderHandle> inDest;
        const FolderHandle* folder = listFolder.get();
        if (!folder && dest) {
            const fs::path here = fs::current_path();
            const fs::path below = PathBelow((here / failedList->file().parent_path()).lexically_normal(),
                                             (here / request.dest).lexically_normal());
            if (!files.pinFolder(*dest, below, false, inDest)) folder = inDest.get();
        }
        listWritten = failedList->Write(files, folder, listProblem);
    };
    const SessionResult result = RunSession(files, request, jobs, &report);
    // Stopped by a signal: the shell's own code for it, 128 + the signal (130 for SIGINT, 143
    // for SIGTERM), so scripts see the batch did not run to its end.
    const int interrupted = gSignal == SIGINT ? 130 : 143;
    if (result.setup) {
        report.Clear();
        Complain(result.setup.kind == SetupKind::Busy ? result.setup.message() + " (--no-wait)"
                                                      : result.setup.message());
        return result.setup.kind == SetupKind::Stopped ? interrupted : kExitUsage;
    }
    const BatchSummary& summary = result.summary;
    report.Finish(summary);
    for (const RunNote& warning : summary.warnings) Complain(Shown(warning.message()));
    if (summary.leftoversRemoved > 0) {
        Complain("removed " + std::to_string(summary.leftoversRemoved) + " file" +
                 (summary.leftoversRemoved == 1 ? "" : "s") + " that an interrupted run had left behind");
    }
    if (failedList) {
        if (!listWritten) Complain(listProblem);
        if (failedList->leftOut() > 0) {
            Complain(std::to_string(failedList->leftOut()) + " failed paths hold a line break and are not in " +
                     options.failedTo + "; with -0 they are");
        }
    }
    if (summary.interrupted()) return interrupted;
    return summary.failed > 0 || !walk.unreadable.empty() || !listWritten ? kExitSomeFailed : kExitOk;
}

}  // namespace

std::function<int()> AddConvertCommand(CLI::App& app) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* convert = app.add_subcommand(
        "convert", "Mark the dimensions of the JWW and JWS drawings among SOURCE files and folders");
    SetUsage(*convert, "[OPTIONS] -o DEST [SOURCE...]");
    convert->add_option("SOURCE", options->sources, "drawing files or folders")->type_name("");
    convert->add_option("-o,--output", options->dest, "destination folder (created when missing)")->type_name("DEST");
    convert->add_flag("-r,--recursive", options->recursive, "convert whole folder trees, mirrored under DEST");
    convert->add_flag("--hidden", options->hidden, "with -r, enter hidden folders (names starting with .)");
    convert->add_option("-j,--jobs", options->jobs, "conversions at a time, 1 to 256 (default: the number of cores)")
        ->type_name("N");
    convert->add_flag("-n,--dry-run", options->dryRun, "read and mark in memory, write nothing");
    convert->add_flag("--json", options->json, "one JSON object per file, then a summary object");
    convert->add_flag("-q,--quiet", options->quiet, "only failures and the summary");
    convert->add_flag("--no-sync", options->noSync, "do not sync each drawing before it replaces anything");
    convert->add_flag("--no-wait", options->noWait,
                      "fail at once when another conversion is writing into DEST, instead of waiting for it");
    convert->add_flag("--keep-times", options->keepTimes, "give each drawing its source's modification time");
    convert->add_flag("--drop-trailing-bytes", options->dropTrailingBytes,
                      "convert a drawing with bytes after its end without them, instead of failing it");
    convert
        ->add_option("--files-from", options->filesFrom,
                     "convert the files listed in FILE ('-': stdin), placed as walking SOURCE would")
        ->type_name("FILE");
    convert
        ->add_option("--failed-to", options->failedTo,
                     "list the files that failed or were not started in FILE, for --files-from")
        ->type_name("FILE");
    convert->add_flag("-0,--null", options->nulSeparated, "lists end each path with a NUL byte, not a line break");
    convert->footer(
        "Examples:\n"
        "  quellmark-cli convert -o converted plan.jww detail.jws\n"
        "  quellmark-cli convert -r -j 4 -o /srv/converted /srv/drawings\n"
        "  quellmark-cli convert -n -r -o converted drawings    (writes nothing)\n"
        "  quellmark-cli convert -r -o converted drawings --failed-to failed.txt\n"
        "  quellmark-cli convert --files-from failed.txt -o converted drawings\n"
        "  find drawings -type f \\( -iname '*.jww' -o -iname '*.jws' \\) -print0 |\n"
        "    quellmark-cli convert -0 --files-from - -o converted drawings");
    return [options] { return Run(*options); };
}

}  // namespace quellmark::cli
