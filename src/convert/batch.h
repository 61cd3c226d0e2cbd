// The batch runner under a session: converts many files with several at a time, keeps the order
// rule for shared destination and ".BAK" names, tells an observer of each file as it goes, and
// sums up what happened. The batch session (session.h) is what the front ends start; it runs
// this once it holds the destination.
#pragma once

#include "convert.h"
#include "name_keys.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace quellmark {

struct BatchJob {
    std::filesystem::path source;
    std::filesystem::path dest;
    bool named = false;          // the user named the file itself, rather than a folder that holds it
    std::error_code unreadable;  // set for a folder of the sources that could not be listed
};

// The jobs of a batch, held at the size of their names: a list of a million files costs the
// bytes of its paths and a few more, not a path object each.
class JobList {
public:
    // size: the file's size as listed (for the time left), 0 when unknown.
    void add(const std::filesystem::path& source, const std::filesystem::path& dest, std::uint64_t size = 0,
             bool named = false);
    // A folder of the sources that could not be listed: the batch reports it as a failure, so it
    // is in every count and list of failures.
    void addUnreadableFolder(const std::filesystem::path& folder, const std::filesystem::path& dest,
                             std::error_code why);
    std::size_t size() const { return entries_.size(); }
    BatchJob operator[](std::size_t i) const;
    std::filesystem::path source(std::size_t i) const;
    std::filesystem::path dest(std::size_t i) const;
    std::uint64_t listedSize(std::size_t i) const { return entries_[i].size; }
    std::uint64_t listedBytes() const { return listedBytes_; }

private:
    using Text = std::filesystem::path::string_type;
    struct Entry {
        std::size_t at;
        std::uint32_t sourceLength;
        std::uint32_t destLength;
        std::uint64_t size;
        bool named;
    };
    Text text_;
    std::vector<Entry> entries_;
    std::unordered_map<std::size_t, std::error_code> unreadable_;  // few: kept aside
    std::uint64_t listedBytes_ = 0;
};

struct BatchSummary {
    std::int64_t converted = 0;  // with a dry run: the files that would be converted
    std::int64_t upToDate = 0;   // drawings whose destination held their conversion already
    std::int64_t skipped = 0;
    std::int64_t failed = 0;
    std::int64_t notStarted = 0;        // left when the batch was stopped
    std::int64_t leftoversRemoved = 0;  // files and folders that killed runs had left behind
    std::int64_t dimensionsMarked = 0;
    std::int64_t backups = 0;     // old destination files kept as ".BAK"
    std::int64_t normalised = 0;  // drawings converted with changes beyond their marks
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    double seconds = 0;
    // What the user should know of the run itself: leftovers of killed runs that could not be
    // removed, and the like. Never failures.
    std::vector<RunNote> warnings;

    void add(const FileResult& result);
    bool interrupted() const { return notStarted > 0; }
};

// Told of each file as the batch goes; called from the worker threads, one call at a time.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    // A drawing was recognised and its conversion begins.
    virtual void FileStarted(std::size_t /*index*/, const BatchJob& /*job*/) {}
    // Every job ends here, skipped, repeated and not started ones too.
    virtual void FileFinished(std::size_t /*index*/, const FileResult& /*result*/) {}
};

struct BatchPlan {
    int workers = 1;
    // The keys destination names meet under, folded where the folders they go into fold letter
    // case; without them, names meet only as written.
    NameKeys* destinationKeys = nullptr;
    // The folder below which each worker gets a temp folder of its own for image bytes.
    std::filesystem::path tempRoot;
    ConvertSettings settings;
    // Asked before each drawing starts: why no drawing may start any more (the destination was
    // moved away), or an empty problem. Called from the workers at once.
    std::function<Problem()> refuseStart;
};

// Converts the jobs with up to plan.workers conversions at a time, each with its own context.
// Jobs whose destination or backup names coincide run one after the other in the order given;
// of two jobs with one destination the later fails as a clash (or, the same file given again,
// is counted once); a backup this batch made is never replaced by a later drawing of it.
BatchSummary RunBatch(FileSystem& fs, const JobList& jobs, const BatchPlan& plan, BatchObserver* observer);

// The key two destination names meet under: the path as written, with foldCase every letter
// folded as the widest of the file systems that fold case would fold it.
std::string DestinationKey(const std::filesystem::path& path, bool foldCase);

}  // namespace quellmark
