// The conversion driver: per-file routines with atomic replacement, batches, and the checks of
// the Convert command.
#include "convert.h"

#include "../drawing/dimensions.h"
#include "../drawing/drawing_file.h"
#include "../drawing/Func_.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

std::atomic<std::uint64_t> gTempNumber{0};

FileResult Result(const fs::path& source, const fs::path& dest, DrawingFormat format) {
    FileResult r;
    r.source = source;
    r.dest = dest;
    r.format = format;
    return r;
}

// A name beside dest that no other file has: hidden, and marked as ours.
fs::path TempPathBeside(const fs::path& dest) {
    return dest.parent_path() / ("." + dest.filename().string() + ".qm" +
                                 std::to_string(ProcessId()) + "-" +
                                 std::to_string(++gTempNumber) + ".tmp");
}

std::string Name(const fs::path& path) { return path.filename().string(); }

// Makes sure the folder a drawing goes into is there. Only folders below `root` are made, and
// only while root itself is there: a destination that disappeared is reported, not re-created.
std::error_code EnsureFolder(FileSystem& files, const fs::path& folder, const fs::path& root) {
    if (files.isDirectory(folder)) return {};
    if (root.empty() || !IsWithin(folder, root, true) || !files.isDirectory(root)) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (auto ec = EnsureFolder(files, folder.parent_path(), root)) return ec;
    auto ec = files.createDirectory(folder);
    if (ec && files.isDirectory(folder)) return {};  // made by another job meanwhile
    return ec;
}

using WriteTo = std::function<bool(const fs::path&, Failure*, const WriteSettings&)>;

// Writes the drawing into a temp file beside dest, keeps an old dest as ".BAK", and gives the
// temp file dest's name. Returns the reason of a failure, empty on success; on failure the
// destination folder holds what it held before.
std::string ReplaceWith(ConversionContext& ctx, const fs::path& dest, const WriteTo& write,
                        std::uint64_t& bytesOut) {
    FileSystem& files = *ctx.fs;
    if (auto ec = EnsureFolder(files, dest.parent_path(), ctx.settings.createFoldersBelow)) {
        return "cannot write into " + dest.parent_path().string() + ": " + ErrorText(ec);
    }
    const fs::path temp = TempPathBeside(dest);
    Failure failure;
    WriteSettings settings;
    settings.sync = ctx.settings.sync;
    settings.exclusive = true;
    settings.bytesWritten = &bytesOut;
    if (!write(temp, &failure, settings)) {
        // The temp file's name means nothing to the user; say which drawing it stood for.
        const std::string created = "cannot create " + Name(temp);
        if (failure.reason.starts_with(created)) {
            return "cannot create a temporary file beside " + Name(dest) + failure.reason.substr(created.size());
        }
        return failure.reason;
    }

    std::string reason;
    BackupRecord backup;
    if (!BackupExisting(files, dest, backup, &reason)) {
        (void)files.remove(temp);
        return reason;
    }
    if (auto ec = files.rename(temp, dest)) {
        RestoreBackup(files, backup);
        (void)files.remove(temp);
        return "cannot replace " + Name(dest) + ": " + ErrorText(ec);
    }
    CompleteBackup(files, backup);
    if (ctx.settings.sync) (void)files.syncDirectory(dest.parent_path());
    return {};
}

FileResult Failed(FileResult r, std::string reason) {
    r.outcome = Outcome::Failed;
    r.reason = std::move(reason);
    return r;
}

// Runs on every path out of a per-file routine: nothing of one drawing survives into the next.
struct JwwCleanup {
    ConversionContext& ctx;
    ~JwwCleanup() {
        DeleteTempImages(ctx.images);
        ClearImageList(ctx.images);
        FreeJwwDocument(ctx.jww);
    }
};

struct JwsCleanup {
    ConversionContext& ctx;
    ~JwsCleanup() { FreeJwsDocument(ctx.jws); }
};

}  // namespace

bool IsWithin(const fs::path& inner, const fs::path& outer, bool strictly) {
    // Components of the paths as written, without the empty one a trailing separator leaves.
    auto parts = [](const fs::path& p) {
        std::vector<fs::path> list;
        for (const fs::path& part : p.lexically_normal()) {
            if (!part.empty()) list.push_back(part);
        }
        return list;
    };
    const std::vector<fs::path> in = parts(inner);
    const std::vector<fs::path> out = parts(outer);
    if (in.size() < out.size() || (strictly && in.size() == out.size())) return false;
    return std::equal(out.begin(), out.end(), in.begin());
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Converted: return "converted";
        case Outcome::Skipped: return "skipped";
        case Outcome::Failed: return "failed";
        case Outcome::WouldConvert: return "would-convert";
    }
    return "";
}

void BatchSummary::add(const FileResult& result) {
    switch (result.outcome) {
        case Outcome::Converted:
        case Outcome::WouldConvert:
            ++converted;
            dimensionsMarked += result.marked;
            break;
        case Outcome::Skipped: ++skipped; break;
        case Outcome::Failed: ++failed; break;
    }
    bytesIn += result.bytesIn;
    bytesOut += result.bytesOut;
    results.push_back(result);
}

std::string UpperExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : UpperSjis(name.substr(dot));
}

fs::path BackupPath(const fs::path& dest) {
    const std::string name = Name(dest);
    const std::size_t dot = name.rfind('.');
    return dest.parent_path() / ((dot == std::string::npos ? name : name.substr(0, dot)) + ".BAK");
}

bool BackupExisting(FileSystem& files, const fs::path& dest, BackupRecord& record,
                    std::string* reason) {
    record = BackupRecord{dest, BackupPath(dest), {}, false};
    if (!files.isFile(dest)) return true;
    auto fail = [&](const std::string& why) {
        if (reason) *reason = "cannot keep the old file as " + Name(record.backup) + ": " + why;
        return false;
    };
    // The older backup only goes once the new drawing stands, so every failure can be undone.
    if (files.isFile(record.backup)) {
        const fs::path aside = TempPathBeside(record.backup);
        if (auto ec = files.rename(record.backup, aside)) {
            return fail("cannot move the older one aside: " + ErrorText(ec));
        }
        record.aside = aside;
    }
    if (auto ec = files.rename(dest, record.backup)) {
        RestoreBackup(files, record);
        return fail(ErrorText(ec));
    }
    record.moved = true;
    return true;
}

void RestoreBackup(FileSystem& files, const BackupRecord& record) {
    if (record.moved) (void)files.rename(record.backup, record.dest);
    if (!record.aside.empty()) (void)files.rename(record.aside, record.backup);
}

void CompleteBackup(FileSystem& files, const BackupRecord& record) {
    if (!record.aside.empty()) (void)files.remove(record.aside);
}

namespace {

// A JWS drawing is written at a version its reader knows: older ones and 300 move up.
std::int32_t WrittenVersion(DrawingFormat format, std::int32_t version) {
    return format == DrawingFormat::Jws ? AdjustJwsVersion(version) : version;
}

// Gives the written temp file the source's modification time before it takes the destination's
// name, so the drawing never stands there with another time. (Straight through the standard
// library: the file-system seam has no call for times.) On failure the temp file goes.
bool KeepModificationTime(ConversionContext& ctx, const fs::path& source, const fs::path& temp,
                          Failure* failure) {
    std::error_code ec;
    const fs::file_time_type time = fs::last_write_time(source, ec);
    if (!ec) fs::last_write_time(temp, time, ec);
    if (!ec) return true;
    (void)ctx.fs->remove(temp);
    if (failure) failure->reason = "cannot keep the modification time of " + Name(source) + ": " + ErrorText(ec);
    return false;
}

// The steps both formats share once they know how to read and write their document: read the
// file whole, parse it, mark the dimensions, and unless this is a dry run, replace dest.
template <typename Document, typename Read, typename Write>
FileResult ConvertDrawing(ConversionContext& ctx, FileResult r, Document& doc, const Read& read,
                          const Write& write) {
    Failure failure;
    if (!ReadDrawingBytes(*ctx.fs, r.source, ctx.input, &failure)) return Failed(r, failure.reason);
    r.bytesIn = ctx.input.size();
    const bool ok = read(ctx.input, failure);
    r.version = doc.Header.Version;
    if (!ok) return Failed(r, failure.reason);
    r.writtenVersion = WrittenVersion(r.format, r.version);
    const DimensionTally tally = AddDimensionAttributes(doc, r.version);
    r.dimensions = tally.dimensions;
    r.marked = tally.marked;
    if (ctx.settings.dryRun) {
        r.outcome = Outcome::WouldConvert;
        return r;
    }
    const std::string reason = ReplaceWith(
        ctx, r.dest,
        [&](const fs::path& temp, Failure* f, const WriteSettings& settings) {
            return write(temp, r.version, f, settings) &&
                   (!ctx.settings.keepTimes || KeepModificationTime(ctx, r.source, temp, f));
        },
        r.bytesOut);
    if (!reason.empty()) return Failed(r, reason);
    r.outcome = Outcome::Converted;
    return r;
}

}  // namespace

FileResult ConvertJww(ConversionContext& ctx, const fs::path& source, const fs::path& dest) {
    JwwCleanup cleanup{ctx};
    ctx.images.KeepBytes = !ctx.settings.dryRun;
    return ConvertDrawing(
        ctx, Result(source, dest, DrawingFormat::Jww), ctx.jww,
        [&](const FileBytes& bytes, Failure& failure) { return ReadJwwBytes(ctx.jww, ctx.images, bytes, &failure); },
        [&](const fs::path& temp, std::int32_t version, Failure* failure, const WriteSettings& settings) {
            return WriteJwwFile(ctx.jww, ctx.images, temp, version, failure, settings);
        });
}

FileResult ConvertJws(ConversionContext& ctx, const fs::path& source, const fs::path& dest) {
    JwsCleanup cleanup{ctx};
    return ConvertDrawing(
        ctx, Result(source, dest, DrawingFormat::Jws), ctx.jws,
        [&](const FileBytes& bytes, Failure& failure) { return ReadJwsBytes(ctx.jws, bytes, &failure); },
        [&](const fs::path& temp, std::int32_t version, Failure* failure, const WriteSettings& settings) {
            return WriteJwsFile(ctx.jws, temp, version, failure, settings, *ctx.fs);
        });
}

namespace {

FileResult ConvertFile(ConversionContext& ctx, const fs::path& source, const fs::path& dest,
                       const std::function<void()>& onStart) {
    const std::string ext = UpperExtension(Name(source));
    if (ext == ".JWW" && IsJwwFile(source, *ctx.fs)) {
        if (onStart) onStart();
        return ConvertJww(ctx, source, dest);
    }
    if (ext == ".JWS" && IsJwsFile(source, *ctx.fs)) {
        if (onStart) onStart();
        return ConvertJws(ctx, source, dest);
    }
    FileResult r = Result(source, dest, DrawingFormat::None);
    r.outcome = Outcome::Skipped;
    if (ext == ".JWW" || ext == ".JWS") {
        r.reason = ctx.fs->isFile(source) ? "does not start with the " + ext.substr(1) + " signature"
                                          : "cannot be read";
    } else {
        r.reason = "not a .jww or .jws file";
    }
    return r;
}

}  // namespace

FileResult ConvertFile(ConversionContext& ctx, const fs::path& source, const fs::path& dest) {
    return ConvertFile(ctx, source, dest, nullptr);
}

// ---- batches ----

TempRoot::TempRoot() : owned_(true) {
    std::random_device entropy;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) throw std::runtime_error("no temporary folder: " + ErrorText(ec));
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = base / ("quellmark-" + std::to_string(ProcessId()) + "-" +
                        std::to_string(entropy() % 1000000));
        if (fs::create_directory(path_, ec)) return;
    }
    throw std::runtime_error("cannot create a temporary folder under " + base.string() +
                             (ec ? ": " + ErrorText(ec) : std::string()));
}

TempRoot::TempRoot(fs::path existing) : path_(std::move(existing)), owned_(false) {}

TempRoot::~TempRoot() {
    if (!owned_) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

BatchSummary RunBatch(const std::vector<BatchJob>& jobs, int workers, const ConvertSettings& settings,
                      const fs::path& tempRoot, FileSystem& files, BatchObserver* observer) {
    const auto started = std::chrono::steady_clock::now();

    // Jobs that share a destination or a backup name form a chain that runs in order.
    std::vector<std::vector<std::size_t>> chains;
    {
        std::map<std::string, std::size_t> chainOf;
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            std::string key = BackupPath(jobs[i].dest).string();
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            auto [it, fresh] = chainOf.try_emplace(key, chains.size());
            if (fresh) chains.emplace_back();
            chains[it->second].push_back(i);
        }
    }

    std::vector<FileResult> results(jobs.size());
    std::atomic<std::size_t> nextChain{0};
    std::mutex observerMutex;
    auto work = [&](int worker) {
        ConversionContext ctx(files);
        ctx.settings = settings;
        ctx.images.TempFolder = tempRoot / ("job-" + std::to_string(worker));
        (void)files.createDirectory(ctx.images.TempFolder);
        for (std::size_t c; (c = nextChain++) < chains.size();) {
            for (std::size_t i : chains[c]) {
                if (settings.stop && settings.stop->load()) {
                    results[i] = Result(jobs[i].source, jobs[i].dest, DrawingFormat::None);
                    results[i] = Failed(results[i], kInterruptedReason);
                    continue;
                }
                auto onStart = [&] {
                    if (!observer) return;
                    std::lock_guard lock(observerMutex);
                    observer->FileStarted(i, jobs[i]);
                };
                results[i] = ConvertFile(ctx, jobs[i].source, jobs[i].dest, onStart);
                if (observer) {
                    std::lock_guard lock(observerMutex);
                    observer->FileFinished(i, results[i]);
                }
            }
        }
        (void)files.removeDirectory(ctx.images.TempFolder);
    };

    const int threads = std::clamp<int>(workers, 1, static_cast<int>(std::max<std::size_t>(chains.size(), 1)));
    if (threads == 1) {
        work(0);
    } else {
        std::vector<std::thread> pool;
        for (int w = 0; w < threads; ++w) pool.emplace_back(work, w);
        for (std::thread& t : pool) t.join();
    }

    BatchSummary summary;
    for (const FileResult& r : results) summary.add(r);
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return summary;
}

// ---- the Convert command of the window ----

namespace {

bool Refuse(ConvertUi& ui, const char* text, ConvertUi::BoxKind kind, bool statusToo = false) {
    ui.Beep();
    ui.MessageBox("", text, kind, ConvertUi::Buttons::Ok);
    if (statusToo) ui.SetStatus(text);
    return false;
}

bool SameFolder(FileSystem& files, const std::string& a, const std::string& b) {
    if (a == b) return true;
    if (!files.isDirectory(a) || !files.isDirectory(b)) return false;
    std::error_code ec;
    return fs::equivalent(fs::path(a), fs::path(b), ec) && !ec;
}

}  // namespace

bool CheckConvertCommand(const ConvertCommandInput& input, ConvertUi& ui, FileSystem& files) {
    using Kind = ConvertUi::BoxKind;
    if (!input.searchReady) return Refuse(ui, texts::kSpecifySearchFolder, Kind::Error, true);
    if (!input.listShown) return Refuse(ui, texts::kNoFileList, Kind::Error);
    if (input.destFolder.empty()) return Refuse(ui, texts::kSpecifyDestination, Kind::Confirmation);
    if (!files.isDirectory(input.destFolder)) {
        return Refuse(ui, texts::kDestinationMissing, Kind::Confirmation);
    }
    if (SameFolder(files, input.destFolder, input.sourceFolder)) {
        return Refuse(ui, texts::kSameFolder, Kind::Confirmation);
    }
    if (ui.MessageBox("", texts::kConfirmStart, Kind::Confirmation, ConvertUi::Buttons::YesNo) ==
        ConvertUi::Answer::No) {
        ui.SetStatus(texts::kCancelled);
        return false;
    }
    return true;
}

BatchSummary ConvertSelection(const ConvertCommandInput& input, ConversionContext& ctx, ConvertUi& ui) {
    const auto started = std::chrono::steady_clock::now();
    BatchSummary summary;
    for (const std::string& name : input.names) {
        if (name.empty()) continue;
        const std::string source = input.sourceFolder + name;
        const std::string dest = input.destFolder + name;
        summary.add(ConvertFile(ctx, source, dest, [&] {
            ui.SetStatus("ファイル「" + source + "」→「" + dest + "」変換中です。");
        }));
    }
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return summary;
}

std::string CompletionText(const BatchSummary& summary) {
    return std::string(texts::kCompleted) + "（変換 " + std::to_string(summary.converted) + " 件、スキップ " +
           std::to_string(summary.skipped) + " 件、失敗 " + std::to_string(summary.failed) + " 件）";
}

void ReportBatch(const BatchSummary& summary, ConvertUi& ui) {
    ui.SetStatus(CompletionText(summary));
    if (summary.failed == 0) return;
    std::string list;
    for (const FileResult& r : summary.results) {
        if (r.outcome != Outcome::Failed) continue;
        if (!list.empty()) list += "\n";
        list += Name(r.source) + ": " + r.reason;
    }
    ui.MessageBox(texts::kFailedFilesTitle, list, ConvertUi::BoxKind::Warning, ConvertUi::Buttons::Ok);
}

BatchSummary Button4Click(const ConvertCommandInput& input, ConversionContext& ctx, ConvertUi& ui) {
    if (!CheckConvertCommand(input, ui, *ctx.fs)) return {};
    BatchSummary summary = ConvertSelection(input, ctx, ui);
    ReportBatch(summary, ui);
    return summary;
}

}  // namespace quellmark
