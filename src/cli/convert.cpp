// `quellmark-cli convert`: converts the drawings among files and folders into a destination
// folder, in parallel, with backups of what was there and a summary of what happened.
#include "../convert/batch.h"
#include "../convert/replace.h"
#include "commands.h"
#include "console.h"
#include "convert_report.h"
#include "lists.h"
#include "walk.h"

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>

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
    int jobs = 0;
    bool dryRun = false;
    bool json = false;
    bool quiet = false;
    bool noSync = false;
    bool noWait = false;
    bool keepTimes = false;
    std::string filesFrom;  // a list of the files to convert instead of walking the sources
    std::string failedTo;   // a list of the files that failed, for --files-from
    bool nulSeparated = false;
};

// Where dest stands to a source folder: by identity where dest's folders exist, so no spelling
// hides the source (case, drive letter, \\?\ prefix, a link on the way); as spelled otherwise.
Nesting PlaceOf(const fs::path& dest, const fs::path& folder) {
    if (const Nesting nesting = NestingIn(dest, folder); nesting != Nesting::Apart) return nesting;
    const fs::path destAbsolute = SystemAbsolute(dest);
    const fs::path source = SystemAbsolute(folder);
    if (destAbsolute == source) return Nesting::Same;
    return IsWithin(destAbsolute, source, false) ? Nesting::Inside : Nesting::Apart;
}

// Turns the sources (or the listed files) into jobs, refusing a destination that is, or with -r
// lies inside, a source.
std::vector<BatchJob> PlanJobs(const ConvertOptions& options, const fs::path& dest, Walk& walk) {
    const bool listed = !options.filesFrom.empty();
    if (options.sources.empty() && !listed) throw UsageError("no SOURCE given, nor --files-from");
    auto checkFolder = [&](const fs::path& folder, bool tree) {
        const Nesting place = PlaceOf(dest, folder);
        if (place == Nesting::Same) {
            throw UsageError("the destination " + dest.string() + " is the source folder " + folder.string());
        }
        if (tree && place == Nesting::Inside) {
            throw UsageError("the destination " + dest.string() + " lies inside the source folder " +
                             folder.string());
        }
    };
    for (const fs::path& source : options.sources) {
        const PathFacts facts = Examine(source);
        if (facts.error) throw UsageError("cannot reach " + source.string() + ": " + ErrorText(facts.error));
        if (facts.kind == PathKind::Missing) throw UsageError("no such file or folder: " + source.string());
        if (facts.kind == PathKind::Folder) {
            // A list is fixed before the batch starts, so the destination may lie inside a
            // folder the listed files are placed from: its drawings are not walked into.
            checkFolder(source, options.recursive && !listed);
        } else {
            fs::path parent = source.parent_path();
            checkFolder(parent.empty() ? fs::path(".") : parent, false);
        }
    }
    if (listed && options.sources.empty()) checkFolder(".", false);
    walk = listed ? ListedFiles(ReadPathList(options.filesFrom, options.nulSeparated), options.sources)
                  : WalkSources(options.sources, {options.recursive, options.hidden});
    std::vector<BatchJob> jobs;
    jobs.reserve(walk.files.size());
    for (const SourceFile& file : walk.files) jobs.push_back({file.path, dest / file.relative});
    return jobs;
}

int Run(const ConvertOptions& options) {
    const fs::path dest = options.dest;
    std::vector<BatchJob> jobs;
    Walk walk;
    std::unique_ptr<PathListWriter> failedList;
    try {
        const PathKind destKind = Examine(dest).kind;
        if (destKind != PathKind::Missing && destKind != PathKind::Folder) {
            throw UsageError("the destination " + dest.string() + " is not a folder");
        }
        jobs = PlanJobs(options, dest, walk);
        if (!options.failedTo.empty()) {
            failedList = std::make_unique<PathListWriter>(options.failedTo, options.nulSeparated);
        }
        if (!options.dryRun && destKind == PathKind::Missing) {
            if (const std::error_code ec = CreateFolders(dest)) {
                throw UsageError("cannot create the destination " + dest.string() + ": " + ErrorText(ec));
            }
        }
    } catch (const UsageError& e) {
        Complain(e.what());
        return kExitUsage;
    }
    ReportWalk(walk);

    // The first Ctrl-C (or SIGTERM, or SIGHUP) lets the conversions under way finish and starts
    // no more; a second one ends the program at once.
    CatchInterrupts(gInterrupted, gSignal);
    ConvertSettings settings;
    settings.stop = &gInterrupted;
    settings.sync = !options.noSync;
    settings.dryRun = options.dryRun;
    settings.keepTimes = options.keepTimes;
    settings.createFoldersBelow = dest;
    const int workers = options.jobs > 0 ? options.jobs
                                         : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // One run at a time writes into a destination; a dry run writes nothing and needs no lock.
    std::unique_ptr<FolderHandle> lock;
    if (!options.dryRun) {
        const auto waiting = [&] {
            Complain("waiting for another conversion into " + dest.string() + " to finish");
        };
        if (auto ec = LockDestination(RealFileSystem(), dest, !options.noWait, waiting, lock)) {
            Complain(ec == std::errc::resource_unavailable_try_again
                         ? "another conversion is writing into " + dest.string() + " (--no-wait)"
                         : "cannot lock the destination " + dest.string() + ": " + ErrorText(ec));
            return kExitUsage;
        }
    }
    std::unique_ptr<TempRoot> temp;
    try {
        temp = std::make_unique<TempRoot>();
    } catch (const std::exception& e) {
        Complain(e.what());
        return kExitUsage;
    }

    std::vector<std::uint64_t> sizes;
    sizes.reserve(walk.files.size());
    for (const SourceFile& file : walk.files) sizes.push_back(file.size);
    BatchReport report({options.json, options.quiet, options.dryRun}, std::move(sizes), workers, failedList.get());
    const BatchSummary summary =
        RunBatch(jobs, workers, settings, temp->path(), RealFileSystem(), &report, lock != nullptr);
    report.Finish(summary);
    const std::int64_t leftovers = summary.leftoversRemoved + temp->leftoversRemoved();
    if (leftovers > 0) {
        Complain("removed " + std::to_string(leftovers) + " file" + (leftovers == 1 ? "" : "s") +
                 " that an interrupted run had left behind");
    }
    bool listWritten = true;
    if (failedList) {
        std::string reason;
        listWritten = failedList->Close(reason);
        if (!listWritten) Complain(reason);
        if (failedList->leftOut() > 0) {
            Complain(std::to_string(failedList->leftOut()) + " failed paths hold a line break and are not in " +
                     options.failedTo + "; with -0 they are");
        }
    }
    // Stopped by a signal: the shell's own code for it, 128 + the signal (130 for SIGINT, 143
    // for SIGTERM), so scripts see the batch did not run to its end.
    if (summary.interrupted()) return gSignal == SIGINT ? 130 : 143;
    return summary.failed > 0 || !walk.unreadable.empty() || !listWritten ? kExitSomeFailed : kExitOk;
}

}  // namespace

std::function<int()> AddConvertCommand(CLI::App& app) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* convert = app.add_subcommand(
        "convert", "Mark the dimensions of the JWW and JWS drawings among SOURCE files and folders");
    convert->add_option("SOURCE", options->sources, "drawing files or folders")->type_name("");
    convert->add_option("-o,--output", options->dest, "destination folder (created when missing)")
        ->type_name("DEST")
        ->required();
    convert->add_flag("-r,--recursive", options->recursive, "convert whole folder trees, mirrored under DEST");
    convert->add_flag("--hidden", options->hidden, "with -r, enter hidden folders (names starting with .)");
    convert->add_option("-j,--jobs", options->jobs, "conversions at a time (default: the number of cores)")
        ->type_name("N")
        ->check(CLI::Range(1, 256).description("1 to 256"));
    convert->add_flag("-n,--dry-run", options->dryRun, "read and mark in memory, write nothing");
    convert->add_flag("--json", options->json, "one JSON object per file, then a summary object");
    convert->add_flag("-q,--quiet", options->quiet, "only failures and the summary");
    convert->add_flag("--no-sync", options->noSync, "do not sync each drawing before it replaces anything");
    convert->add_flag("--no-wait", options->noWait,
                      "fail at once when another conversion is writing into DEST, instead of waiting for it");
    convert->add_flag("--keep-times", options->keepTimes, "give each drawing its source's modification time");
    convert->add_option("--files-from", options->filesFrom,
                        "convert the files listed in FILE ('-': stdin), placed as walking SOURCE would")
        ->type_name("FILE");
    convert->add_option("--failed-to", options->failedTo,
                        "list the files that failed or were not started in FILE, for --files-from")
        ->type_name("FILE");
    convert->add_flag("-0,--null", options->nulSeparated, "lists end each path with a NUL byte, not a line break");
    convert->footer(
        "Examples:\n"
        "  quellmark-cli convert -o converted plan.jww detail.jws\n"
        "  quellmark-cli convert -r -j 4 -o /srv/converted /srv/drawings\n"
        "  quellmark-cli convert -n -r -o converted drawings    (a dry run: writes nothing)\n"
        "  quellmark-cli convert -r -o converted drawings --failed-to failed.txt\n"
        "  quellmark-cli convert --files-from failed.txt -o converted drawings    (just those again)\n"
        "  find drawings -name '*.jww' -print0 | quellmark-cli convert -0 --files-from - -o converted drawings");
    return [options] { return Run(*options); };
}

}  // namespace quellmark::cli
