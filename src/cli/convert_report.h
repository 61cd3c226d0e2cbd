// What `quellmark-cli convert` tells while it works and at the end: one line per file (text, or
// JSON Lines) written as each drawing is done, the progress line on a terminal, and the summary.
#pragma once

#include "../convert/session.h"
#include "in_order.h"
#include "lists.h"
#include "progress.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace quellmark::cli {

struct ReportOptions {
    bool json = false;
    bool quiet = false;  // per-file lines for failures only
    bool dryRun = false;
};

// Told of each drawing and each wait by the session, from its threads.
class BatchReport final : public SessionEvents {
public:
    // jobs: the batch's, with their sizes as listed, for the time left; workers: conversions at
    // a time. failedList, when given, gets the path of each file that failed or was not started.
    BatchReport(const ReportOptions& options, const JobList& jobs, int workers, FailedList* failedList);

    void Waiting(const std::filesystem::path& folder, const Holder& holder) override;
    void FileFinished(std::size_t index, const FileResult& result) override;
    // After the batch: the lines still held back (each failed file in the list then), then the
    // summary, with the progress line gone.
    void FlushLines();
    void Finish(const BatchSummary& summary);
    // Takes the progress line off the screen (before a message that ends the run).
    void Clear() { progress_.Clear(); }

private:
    void Write(const FileResult& result);
    void WriteLine(const std::string& line, bool toStderr);
    void WriteSummary(const BatchSummary& summary) const;

    ReportOptions options_;
    const JobList& jobs_;
    ProgressLine progress_;
    InOrder order_;
    FailedList* failedList_;
    bool stdoutTerminal_;
    std::mutex mutex_;  // the session's waits and the batch's files come from several threads
};

}  // namespace quellmark::cli
