// convert's per-file lines and summary, written as the batch goes.
#include "convert_report.h"

#include "../convert/replace.h"
#include "../platform/console.h"
#include "../platform/system.h"
#include "changes_text.h"
#include "commands.h"
#include "shown.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace quellmark::cli {

namespace {

// How many finished drawings may wait for a slower one before it; past that their lines go out.
std::size_t MostWaiting(int workers) { return std::max<std::size_t>(64, 8 * static_cast<std::size_t>(workers)); }

std::string Megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// A drawing whose destination holds (or would hold) its conversion.
bool Written(const FileResult& r) {
    return r.outcome == Outcome::Converted || r.outcome == Outcome::WouldConvert || r.outcome == Outcome::UpToDate;
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "JWS 300, written as 351: 2 dimensions, 1 newly marked, 1 already marked; normalised: version
// raised, 1 text cleaned"
std::string WhatWasDone(const FileResult& r, bool dryRun) {
    std::string text = std::string(FormatName(r.format)) + " " + std::to_string(r.version);
    if (r.writtenVersion != r.version) {
        text += (dryRun ? ", would be written as " : ", written as ") + std::to_string(r.writtenVersion);
    }
    text += ": ";
    if (r.outcome == Outcome::UpToDate) {
        return text + Plural(r.dimensions, "dimension", "dimensions") +
               "; the destination holds its conversion already, nothing written";
    }
    if (r.dimensions == 0) {
        text += "no dimensions";
    } else {
        text += Plural(r.dimensions, "dimension", "dimensions");
        if (r.marked > 0) text += ", " + std::to_string(r.marked) + (dryRun ? " would be marked" : " newly marked");
        const std::int64_t already = r.dimensions - r.marked;
        if (already > 0) text += ", " + std::to_string(already) + " already marked";
    }
    if (const std::string changes = ChangesText(r.changes); !changes.empty()) {
        text += (dryRun ? "; would be normalised: " : "; normalised: ") + changes;
    }
    return text;
}

nlohmann::json ToJson(const FileResult& r) {
    const std::string path = PathText(r.source);
    nlohmann::json j = {
        {"path", path},
        {"format", nullptr},
        {"version", nullptr},
        {"written_version", nullptr},
        {"outcome", OutcomeName(r.outcome)},
        {"dimensions", r.dimensions},
        {"marked", r.marked},
        {"already_marked", r.dimensions - r.marked},
        {"kind", r.failure.empty() ? nlohmann::json(nullptr) : nlohmann::json(KindName(r.failure.kind))},
        {"reason", r.failure.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.failure.message())},
        {"changes", ChangesJson(r.changes)}};
    if (!r.warnings.empty()) j["warnings"] = r.warnings;
    if (!IsUtf8(path)) j["path_hex"] = Hex(path);
    if (r.format != DrawingFormat::None) {
        j["format"] = FormatName(r.format);
        j["version"] = r.version;
    }
    if (Written(r)) {
        j["dest"] = PathText(r.dest);
        j["written_version"] = r.writtenVersion;
    }
    if (r.madeBackup) j["backup"] = PathText(BackupPath(r.dest));
    return j;
}

}  // namespace

BatchReport::BatchReport(const ReportOptions& options, const JobList& jobs, int workers, FailedList* failedList)
    : options_(options),
      jobs_(jobs),
      progress_(jobs.size(), jobs.listedBytes(), StderrIsTerminal()),
      order_(jobs.size(), MostWaiting(workers), [this](std::size_t, const FileResult& r) { Write(r); }),
      failedList_(failedList),
      stdoutTerminal_(StdoutIsTerminal()) {
    progress_.Draw(true);
}

void BatchReport::Waiting(const std::filesystem::path& folder, const Holder& holder) {
    std::lock_guard lock(mutex_);
    WriteLine(std::string(kProgramName) + ": waiting for another conversion into " + Shown(PathText(folder)) + " (" +
                  Shown(holder.text()) + ") to finish\n",
              true);
}

void BatchReport::FlushLines() { order_.Flush(); }

void BatchReport::FileFinished(std::size_t index, const FileResult& result) {
    std::lock_guard lock(mutex_);
    progress_.Advance(jobs_.listedSize(index), result.bytesIn);
    order_.Add(index, result);
    progress_.Draw();
}

void BatchReport::Finish(const BatchSummary& summary) {
    FlushLines();
    progress_.Clear();
    if (summary.notStarted > 0) {
        std::fprintf(stderr, "quellmark-cli: interrupted: %lld %s not started\n",
                     static_cast<long long>(summary.notStarted),
                     summary.notStarted == 1 ? "drawing was" : "drawings were");
    }
    WriteSummary(summary);
}

void BatchReport::WriteLine(const std::string& line, bool toStderr) {
    // The progress line shares the terminal: it goes before the line and comes back after it.
    const bool sharesTerminal = toStderr || stdoutTerminal_;
    if (sharesTerminal) progress_.Clear();
    if (toStderr) {
        std::fwrite(line.data(), 1, line.size(), stderr);
    } else {
        WriteOut(line);
    }
    if (sharesTerminal) progress_.Draw(true);
}

void BatchReport::Write(const FileResult& r) {
    if (r.outcome == Outcome::Repeated) return;  // the same file again: its first line stands for it
    // A drawing an interrupt left unconverted fails too, so it is listed for the next run.
    if (failedList_ && (r.outcome == Outcome::Failed || r.outcome == Outcome::NotStarted)) failedList_->Add(r.source);
    if (options_.json) {
        WriteLine(JsonLine(ToJson(r)), false);
    } else if (r.outcome == Outcome::NotStarted) {
        return;  // counted once in the summary
    } else if (r.outcome == Outcome::Failed) {
        // A drawing refused for its bytes after the end converts without them when asked.
        const char* hint =
            r.failure.kind == ProblemKind::BytesAfterEnd ? " (--drop-trailing-bytes converts it without them)" : "";
        WriteLine(std::string(kProgramName) + ": failed: " + Shown(PathText(r.source)) + ": " +
                      Shown(r.failure.message()) + hint + "\n",
                  true);
    } else if (!options_.quiet) {
        if (r.outcome == Outcome::Skipped) {
            WriteLine("skipped: " + Shown(PathText(r.source)) + " (" + r.failure.message() + ")\n", false);
        } else {
            const char* said = r.outcome == Outcome::WouldConvert ? "would convert: "
                               : r.outcome == Outcome::UpToDate   ? "up to date: "
                                                                  : "converted: ";
            WriteLine(std::string(said) + Shown(PathText(r.source)) + " -> " + Shown(PathText(r.dest)) + " (" +
                          WhatWasDone(r, options_.dryRun) +
                          (r.madeBackup ? "; old file kept as " + Shown(PathText(BackupPath(r.dest))) : "") + ")\n",
                      false);
        }
    }
    // Warnings go to stderr whatever -q says: they tell of bytes the user may miss.
    if (!options_.json) {
        for (const std::string& warning : r.warnings) {
            WriteLine(std::string(kProgramName) + ": warning: " + Shown(PathText(r.source)) + ": " + warning + "\n",
                      true);
        }
    }
}

void BatchReport::WriteSummary(const BatchSummary& summary) const {
    std::string line;
    if (options_.json) {
        line = JsonLine({{"summary",
                          {{"converted", summary.converted},
                           {"up_to_date", summary.upToDate},
                           {"skipped", summary.skipped},
                           {"failed", summary.failed},
                           {"not_started", summary.notStarted},
                           {"interrupted", summary.interrupted()},
                           {"dimensions_marked", summary.dimensionsMarked},
                           {"backups", summary.backups},
                           {"normalised", summary.normalised},
                           {"bytes_in", summary.bytesIn},
                           {"bytes_out", summary.bytesOut},
                           {"seconds", summary.seconds},
                           {"dry_run", options_.dryRun}}}});
    } else {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f s", summary.seconds);
        const std::string upToDate =
            summary.upToDate > 0 ? ", up to date " + std::to_string(summary.upToDate) : std::string();
        const std::string counts = std::to_string(summary.converted) + upToDate + ", skipped " +
                                   std::to_string(summary.skipped) + ", failed " + std::to_string(summary.failed) +
                                   "; " + Plural(summary.dimensionsMarked, "dimension", "dimensions");
        const std::string backups =
            summary.backups > 0 ? Plural(summary.backups, "old file", "old files") + " kept as .BAK; " : "";
        const std::string drawings = Plural(summary.normalised, "drawing", "drawings");
        line = options_.dryRun
                   ? "dry run: would convert " + counts + " would be marked, " + drawings + " would be normalised; " +
                         Megabytes(summary.bytesIn) + " read in " + seconds + ", nothing written\n"
                   : "converted " + counts + " marked, " + drawings + " normalised; " + backups +
                         Megabytes(summary.bytesIn) + " read, " + Megabytes(summary.bytesOut) + " written in " +
                         seconds + "\n";
    }
    WriteOut(line);
}

}  // namespace quellmark::cli
