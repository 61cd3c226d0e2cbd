// `quellmark-cli convert`: converts the drawings among files and folders into a destination
// folder, in parallel, with backups of what was there and a summary of what happened.
#include "../convert/convert.h"
#include "commands.h"
#include "walk.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quellmark::cli {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> gInterrupted{false};

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

nlohmann::json ToJson(const FileResult& r) {
    nlohmann::json j = {{"path", r.source.string()},
                        {"dest", r.dest.string()},
                        {"format", nullptr},
                        {"version", nullptr},
                        {"outcome", OutcomeName(r.outcome)},
                        {"dimensions", r.dimensions},
                        {"marked", r.marked},
                        {"reason", r.reason.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.reason)}};
    if (r.format != DrawingFormat::None) {
        j["format"] = FormatName(r.format);
        j["version"] = r.version;
    }
    return j;
}

std::string Megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// Progress on a terminal: files done of total and the reading speed, on one line of stderr.
class Progress final : public BatchObserver {
public:
    Progress(std::size_t total, bool show) : total_(total), show_(show), started_(Clock::now()) {}
    ~Progress() override {
        if (shown_) std::cerr << "\r\033[K" << std::flush;
    }
    void FileFinished(std::size_t, const FileResult& result) override {
        ++done_;
        bytes_ += result.bytesIn;
        if (!show_) return;
        const auto now = Clock::now();
        if (done_ != total_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - started_).count();
        char line[128];
        std::snprintf(line, sizeof line, "\r%zu of %zu files, %.1f MB/s", done_, total_,
                      seconds > 0 ? static_cast<double>(bytes_) / 1e6 / seconds : 0.0);
        std::cerr << line << std::flush;
        shown_ = true;
    }

private:
    using Clock = std::chrono::steady_clock;
    std::size_t total_;
    bool show_;
    Clock::time_point started_;
    Clock::time_point last_{};
    std::size_t done_ = 0;
    std::uint64_t bytes_ = 0;
    bool shown_ = false;
};

bool StderrIsTerminal() {
#ifndef _WIN32
    return isatty(2) != 0;
#else
    return false;
#endif
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

    // The first Ctrl-C lets the conversions under way finish and starts no more; a second one
    // ends the program at once.
    std::signal(SIGINT, [](int) {
        gInterrupted = true;
        std::signal(SIGINT, SIG_DFL);
    });
    ConvertSettings settings;
    settings.stop = &gInterrupted;
    settings.sync = !options.noSync;
    settings.dryRun = options.dryRun;
    settings.createFoldersBelow = dest;
    const int workers = options.jobs > 0 ? options.jobs
                                         : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::unique_ptr<TempRoot> temp;
    try {
        temp = std::make_unique<TempRoot>();
    } catch (const std::exception& e) {
        Complain(e.what());
        return kExitUsage;
    }

    BatchSummary summary;
    {
        Progress progress(jobs.size(), StderrIsTerminal() && !options.quiet && !options.json);
        summary = RunBatch(jobs, workers, settings, temp->path(), RealFileSystem(), &progress);
    }

    std::int64_t interrupted = 0;
    for (const FileResult& r : summary.results) {
        if (options.json) {
            std::cout << ToJson(r).dump() << "\n";
        } else if (r.outcome == Outcome::Failed && r.reason == kInterruptedReason) {
            ++interrupted;
        } else if (r.outcome == Outcome::Failed) {
            std::cerr << "failed: " << r.source.string() << ": " << r.reason << "\n";
        } else if (!options.quiet) {
            if (r.outcome == Outcome::Skipped) {
                std::cout << "skipped: " << r.source.string() << " (" << r.reason << ")\n";
            } else {
                std::cout << (r.outcome == Outcome::WouldConvert ? "would convert: " : "converted: ")
                          << r.source.string() << " -> " << r.dest.string() << " (" << FormatName(r.format)
                          << " " << r.version << ", " << r.marked << " of " << r.dimensions
                          << " dimensions marked)\n";
            }
        }
    }
    if (interrupted > 0) {
        std::cerr << "interrupted: " << interrupted << (interrupted == 1 ? " drawing was" : " drawings were")
                  << " not converted\n";
    }
    if (options.json) {
        std::cout << nlohmann::json{{"summary",
                                     {{"converted", summary.converted},
                                      {"skipped", summary.skipped},
                                      {"failed", summary.failed},
                                      {"dimensions_marked", summary.dimensionsMarked},
                                      {"bytes_in", summary.bytesIn},
                                      {"bytes_out", summary.bytesOut},
                                      {"seconds", summary.seconds}}}}
                         .dump()
                  << "\n";
    } else {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f s", summary.seconds);
        std::cout << (options.dryRun ? "would convert " : "converted ") << summary.converted << ", skipped "
                  << summary.skipped << ", failed " << summary.failed << "; " << summary.dimensionsMarked
                  << " dimensions marked; " << Megabytes(summary.bytesIn) << " read, "
                  << Megabytes(summary.bytesOut) << " written in " << seconds << "\n";
    }
    std::cout.flush();
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
    convert->footer(
        "Examples:\n"
        "  quellmark-cli convert -o converted plan.jww detail.jws\n"
        "  quellmark-cli convert -r -j 4 -o /srv/converted /srv/drawings\n"
        "  quellmark-cli convert -n -r -o converted drawings    (a dry run: writes nothing)");
    return [options] { return Run(*options); };
}

}  // namespace quellmark::cli
