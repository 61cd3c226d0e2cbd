// `quellmark-cli convert`: converts the drawings among files and folders into a destination
// folder, in parallel, with backups of what was there and a summary of what happened.
#include "../convert/batch.h"
#include "../convert/replace.h"
#include "commands.h"
#include "convert_report.h"
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
};

fs::path Absolute(const fs::path& p) {
    std::error_code ec;
    fs::path a = fs::weakly_canonical(fs::absolute(p, ec), ec);
    return ec ? fs::absolute(p) : a;
}

// Turns the sources into jobs, refusing a destination that is, or with -r lies inside, a source.
std::vector<BatchJob> PlanJobs(const ConvertOptions& options, const fs::path& dest, Walk& walk) {
    const fs::path destAbsolute = Absolute(dest);
    auto checkFolder = [&](const fs::path& folder, bool tree) {
        const fs::path source = Absolute(folder);
        std::error_code ec;
        const bool same = fs::exists(dest) && fs::equivalent(dest, folder, ec);
        if (same || destAbsolute == source) {
            throw UsageError("the destination " + dest.string() + " is the source folder " + folder.string());
        }
        if (tree && IsWithin(destAbsolute, source, false)) {
            throw UsageError("the destination " + dest.string() + " lies inside the source folder " +
                             folder.string());
        }
    };
    for (const fs::path& source : options.sources) {
        std::error_code ec;
        const fs::file_status status = fs::status(source, ec);
        if (ec || !fs::exists(status)) throw UsageError("no such file or folder: " + source.string());
        if (fs::is_directory(status)) {
            checkFolder(source, options.recursive);
        } else {
            fs::path parent = source.parent_path();
            checkFolder(parent.empty() ? fs::path(".") : parent, false);
        }
    }
    walk = WalkSources(options.sources, {options.recursive, options.hidden});
    std::vector<BatchJob> jobs;
    jobs.reserve(walk.files.size());
    for (const SourceFile& file : walk.files) jobs.push_back({file.path, dest / file.relative});
    return jobs;
}

int Run(const ConvertOptions& options) {
    const fs::path dest = options.dest;
    std::vector<BatchJob> jobs;
    Walk walk;
    try {
        std::error_code ec;
        if (fs::exists(dest, ec) && !fs::is_directory(dest, ec)) {
            throw UsageError("the destination " + dest.string() + " is not a folder");
        }
        jobs = PlanJobs(options, dest, walk);
        if (!options.dryRun && !fs::exists(dest, ec)) {
            fs::create_directories(dest, ec);
            if (ec) throw UsageError("cannot create the destination " + dest.string() + ": " + ErrorText(ec));
        }
    } catch (const UsageError& e) {
        Complain(e.what());
        return kExitUsage;
    }
    ReportWalk(walk);

    // The first Ctrl-C (or SIGTERM, or SIGHUP) lets the conversions under way finish and starts
    // no more; a second one ends the program at once.
    for (int signal : {SIGINT, SIGTERM
#ifdef SIGHUP
                       , SIGHUP
#endif
         }) {
        std::signal(signal, [](int caught) {
            gSignal = caught;
            gInterrupted = true;
            std::signal(caught, SIG_DFL);
        });
    }
    ConvertSettings settings;
    settings.stop = &gInterrupted;
    settings.sync = !options.noSync;
    settings.dryRun = options.dryRun;
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
    BatchReport report({options.json, options.quiet, options.dryRun}, std::move(sizes), workers);
    const BatchSummary summary =
        RunBatch(jobs, workers, settings, temp->path(), RealFileSystem(), &report, lock != nullptr);
    report.Finish(summary);
    const std::int64_t leftovers = summary.leftoversRemoved + temp->leftoversRemoved();
    if (leftovers > 0) {
        Complain("removed " + std::to_string(leftovers) + " file" + (leftovers == 1 ? "" : "s") +
                 " that an interrupted run had left behind");
    }
    // Stopped by a signal: the shell's own code for it, 128 + the signal (130 for SIGINT, 143
    // for SIGTERM), so scripts see the batch did not run to its end.
    if (summary.interrupted()) return gSignal == SIGINT ? 130 : 143;
    return summary.failed > 0 || !walk.unreadable.empty() ? kExitSomeFailed : kExitOk;
}

}  // namespace

std::function<int()> AddConvertCommand(CLI::App& app) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* convert = app.add_subcommand(
        "convert", "Mark the dimensions of the JWW and JWS drawings among SOURCE files and folders");
    convert->add_option("SOURCE", options->sources, "drawing files or folders")->required();
    convert->add_option("-o,--output", options->dest, "destination folder (created when missing)")->required();
    convert->add_flag("-r,--recursive", options->recursive, "convert whole folder trees, mirrored under DEST");
    convert->add_flag("--hidden", options->hidden, "with -r, enter hidden folders (names starting with \".\") too");
    convert->add_option("-j,--jobs", options->jobs, "conversions in parallel (default: the number of cores)")
        ->check(CLI::Range(1, 256));
    convert->add_flag("-n,--dry-run", options->dryRun, "read and mark in memory, write nothing");
    convert->add_flag("--json", options->json, "one JSON object per file, then a summary object");
    convert->add_flag("-q,--quiet", options->quiet, "only failures and the summary");
    convert->add_flag("--no-sync", options->noSync, "do not push each file to the device before it replaces anything");
    convert->add_flag("--no-wait", options->noWait,
                      "fail at once when another conversion is writing into DEST, instead of waiting for it");
    convert->footer(
        "Examples:\n"
        "  quellmark-cli convert -o converted plan.jww detail.jws\n"
        "  quellmark-cli convert -r -j 4 -o /srv/converted /srv/drawings\n"
        "  quellmark-cli convert -n -r -o converted drawings    (a dry run: writes nothing)");
    return [options] { return Run(*options); };
}

}  // namespace quellmark::cli
