// The batch runner the command line and the window share: converts many files with several at a
// time, keeps the order rule for shared destination and ".BAK" names, tells an observer of each
// file as it goes, and sums up what happened.
#pragma once

#include "convert.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <filesystem>
#include <vector>

namespace quellmark {

struct BatchJob {
    std::filesystem::path source;
    std::filesystem::path dest;
};

struct BatchSummary {
    std::int64_t converted = 0;  // with a dry run: the files that would be converted
    std::int64_t skipped = 0;
    std::int64_t failed = 0;
    std::int64_t notStarted = 0;  // left when the batch was stopped
    std::int64_t leftoversRemoved = 0;  // files that killed runs had left in the folders written
    std::int64_t dimensionsMarked = 0;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    double seconds = 0;
    std::vector<FileResult> results;  // in the order the files were given

    void add(const FileResult& result);
    bool interrupted() const { return notStarted > 0; }
};

// Told of each file as the batch goes; called from the worker threads, one call at a time.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    // A drawing was recognised and its conversion begins.
    virtual void FileStarted(std::size_t /*index*/, const BatchJob& /*job*/) {}
    // Every job ends here, skipped and not started ones too.
    virtual void FileFinished(std::size_t /*index*/, const FileResult& /*result*/) {}
};

// A folder under the system temp folder for one process's image files, removed with its content
// when this object goes. It is locked while it lives, so the folders of runs that were killed
// (unlocked) are told from live ones and removed when the next run makes its own.
class TempRoot {
public:
    TempRoot();  // throws std::runtime_error when no folder can be made
    explicit TempRoot(std::filesystem::path existing);  // uses (and keeps) a folder given
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // How many folders of killed runs were removed.
    std::int64_t leftoversRemoved() const { return leftoversRemoved_; }

private:
    std::filesystem::path path_;
    bool owned_;
    std::unique_ptr<FolderHandle> lock_;
    std::int64_t leftoversRemoved_ = 0;
};

// Converts the jobs with up to `workers` conversions at a time, each with its own context and a
// temp folder of its own below tempRoot. Jobs whose destination or backup names coincide run one
// after the other in the order given; results keep that order. With sweepLeftovers (the caller
// holds the destination's lock), what killed runs left in the folders written is removed.
BatchSummary RunBatch(const std::vector<BatchJob>& jobs, int workers, const ConvertSettings& settings,
                      const std::filesystem::path& tempRoot, FileSystem& fs = RealFileSystem(),
                      BatchObserver* observer = nullptr, bool sweepLeftovers = false);

// The one-run-per-destination lock: held while a run writes into dest. When another run holds
// it, waits (calling onWait once first) or, without wait, fails with
// resource_unavailable_try_again.
std::error_code LockDestination(FileSystem& fs, const std::filesystem::path& dest, bool wait,
                                const std::function<void()>& onWait, std::unique_ptr<FolderHandle>& lock);

}  // namespace quellmark
