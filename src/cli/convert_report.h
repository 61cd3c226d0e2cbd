// What `quellmark-cli convert` tells while it works and at the end: one line per file (text, or
// JSON Lines) written as each drawing is done, the progress line on a terminal, and the summary.
#pragma once

#include "../convert/batch.h"
#include "in_order.h"
#include "lists.h"
#include "progress.h"

#include <cstdint>
#include <vector>

namespace quellmark::cli {

struct ReportOptions {
    bool json = false;
    bool quiet = false;   // per-file lines for failures only
    bool dryRun = false;
};

// Told of each drawing by the batch (one call at a time, from the worker threads).
class BatchReport final : public BatchObserver {
public:
    // listedSizes: each job's size as listed, for the time left; workers: conversions at a time.
    // failedList, when given, gets the path of each file that failed or was not started.
    BatchReport(const ReportOptions& options, std::vector<std::uint64_t> listedSizes, int workers,
                PathListWriter* failedList);

    void FileFinished(std::size_t index, const FileResult& result) override;
    // After the batch: the results no worker handed on (the drawings a stop left), then the
    // summary, with the progress line gone.
    void Finish(const BatchSummary& summary);

private:
    void Write(const FileResult& result);
    void WriteLine(const std::string& line, bool toStderr);
    void WriteSummary(const BatchSummary& summary) const;

    ReportOptions options_;
    std::vector<std::uint64_t> listedSizes_;
    ProgressLine progress_;
    InOrder order_;
    PathListWriter* failedList_;
    bool stdoutTerminal_;
};

}  // namespace quellmark::cli
