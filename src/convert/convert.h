// The conversion driver: the Convert command's checks and confirmation, the batch over the
// selected files, the per-file routines for JWW and JWS drawings, and the backups. The window
// and the CLI both convert through it; the window is reached only through ConvertUi.
#pragma once

#include "../drawing/fs.h"
#include "../drawing/images.h"
#include "../jws/jwsunit.h"
#include "../jww/jwwunit.h"
#include "inspect.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quellmark {

// What the driver needs of a window: message boxes, the beep and the status bar. Texts are UTF-8.
class ConvertUi {
public:
    enum class BoxKind { Error, Information, Confirmation, Warning };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No, Closed };

    virtual ~ConvertUi() = default;
    virtual void Beep() = 0;
    virtual Answer MessageBox(const std::string& title, const std::string& text, BoxKind kind,
                              Buttons buttons) = 0;
    // Shows the text in the status bar and repaints it at once.
    virtual void SetStatus(const std::string& text) = 0;
};

// The texts of the Convert command.
namespace texts {
inline constexpr const char* kSpecifySearchFolder = "検索フォルダを指定して下さい。";
inline constexpr const char* kNoFileList = "ファイル一覧が表示されていません。";
inline constexpr const char* kSpecifyDestination = "保存先フォルダを指定して下さい。";
inline constexpr const char* kDestinationMissing =
    "指定された保存先フォルダが存在しません。再指定して下さい。";
inline constexpr const char* kSameFolder = "保存先フォルダとファイルのフォルダが同じになっています。";
inline constexpr const char* kConfirmStart = "変換を開始します。よろしいですか？";
inline constexpr const char* kCancelled = "変換作業をキャンセルしました。";
inline constexpr const char* kCompleted = "変換作業を完了しました。";
inline constexpr const char* kFailedFilesTitle = "変換できなかったファイル";
}  // namespace texts

enum class Outcome { Converted, Skipped, Failed, WouldConvert };

// The reason of a drawing a stopped batch did not start.
inline constexpr const char* kInterruptedReason = "interrupted before it was converted";
const char* OutcomeName(Outcome outcome);  // "converted", "skipped", "failed", "would-convert"

struct FileResult {
    std::filesystem::path source;
    std::filesystem::path dest;
    DrawingFormat format = DrawingFormat::None;  // None for a skipped file
    std::int32_t version = 0;
    std::int32_t writtenVersion = 0;  // the version it is (in a dry run: would be) written with; 0 before reading
    Outcome outcome = Outcome::Skipped;
    std::int64_t dimensions = 0;
    std::int64_t marked = 0;  // dimensions whose flags words changed
    std::string reason;       // why the file failed
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
};

struct BatchSummary {
    std::int64_t converted = 0;  // with a dry run: the files that would be converted
    std::int64_t skipped = 0;
    std::int64_t failed = 0;
    std::int64_t dimensionsMarked = 0;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    double seconds = 0;
    std::vector<FileResult> results;  // in the order the files were given

    void add(const FileResult& result);
};

struct ConvertSettings {
    bool sync = true;     // push each converted drawing to the device before it replaces anything
    bool dryRun = false;  // read and mark in memory, write nothing
    // Missing folders strictly inside this one are created for the drawings (a tree mirrored
    // under a destination). Empty: a destination folder must already be there.
    std::filesystem::path createFoldersBelow;
    // The converted drawing takes the source's modification time.
    bool keepTimes = false;
    // When set (by an interrupt), a batch starts no further drawing; those left fail as
    // interrupted, and the ones under way finish.
    const std::atomic<bool>* stop = nullptr;
};

// Everything one conversion at a time needs: the two documents, an image store with its temp
// folder, and the file system. One per thread.
struct ConversionContext {
    explicit ConversionContext(FileSystem& fileSystem = RealFileSystem())
        : fs(&fileSystem), images(fileSystem) {}

    FileSystem* fs;
    FileBytes input;  // the drawing being converted, as read; its memory serves file after file
    JwwDocument jww;
    JwsDocument jws;
    ImageStore images;
    ConvertSettings settings;
};

// The upper-cased extension of a file name, from its last "." on; empty when it has none.
std::string UpperExtension(const std::string& name);
// Whether inner is outer or lies below it (strictly: only below it), comparing the paths as
// written; a trailing separator makes no difference.
bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer, bool strictly);

// The destination's backup name: its extension replaced by ".BAK" (or ".BAK" added).
std::filesystem::path BackupPath(const std::filesystem::path& dest);

// Converts one JWW drawing into dest: read, mark, write a temp file beside dest, keep an old
// dest as ".BAK", rename. dest is untouched unless the whole drawing was written.
FileResult ConvertJww(ConversionContext& ctx, const std::filesystem::path& source,
                      const std::filesystem::path& dest);
FileResult ConvertJws(ConversionContext& ctx, const std::filesystem::path& source,
                      const std::filesystem::path& dest);
// Chooses by extension and signature: a JWW or JWS drawing is converted, anything else skipped.
FileResult ConvertFile(ConversionContext& ctx, const std::filesystem::path& source,
                       const std::filesystem::path& dest);

// What BackupExisting did, so it can be undone or completed.
struct BackupRecord {
    std::filesystem::path dest;
    std::filesystem::path backup;  // dest's ".BAK" name
    std::filesystem::path aside;   // where the older ".BAK" waits; empty when there was none
    bool moved = false;            // dest was moved to the backup name
};

// Moves an existing dest to its ".BAK" name, setting an older backup aside first. False with
// the reason when the old file cannot be kept (everything is then as it was); true when it was
// kept or there was nothing to keep.
bool BackupExisting(FileSystem& fs, const std::filesystem::path& dest, BackupRecord& record,
                    std::string* reason);
// Puts dest and the older backup back where they were.
void RestoreBackup(FileSystem& fs, const BackupRecord& record);
// Removes the older backup for good; a failure leaves it under its hidden name.
void CompleteBackup(FileSystem& fs, const BackupRecord& record);

// ---- batches ----

struct BatchJob {
    std::filesystem::path source;
    std::filesystem::path dest;
};

// Told of each file as the batch goes; called from the worker threads, one call at a time.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    virtual void FileStarted(std::size_t /*index*/, const BatchJob& /*job*/) {}
    virtual void FileFinished(std::size_t /*index*/, const FileResult& /*result*/) {}
};

// A folder under the system temp folder for one process's image files, removed with its content
// when this object goes.
class TempRoot {
public:
    TempRoot();  // throws std::runtime_error when no folder can be made
    explicit TempRoot(std::filesystem::path existing);  // uses (and keeps) a folder given
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool owned_;
};

// Converts the jobs with up to `workers` conversions at a time. Jobs whose destination or
// backup names coincide run one after the other in the order given; results keep that order.
BatchSummary RunBatch(const std::vector<BatchJob>& jobs, int workers, const ConvertSettings& settings,
                      const std::filesystem::path& tempRoot, FileSystem& fs = RealFileSystem(),
                      BatchObserver* observer = nullptr);

// ---- the Convert command of the window ----

struct ConvertCommandInput {
    bool searchReady = false;  // FSearchReady
    bool listShown = false;    // FListShown
    std::string sourceFolder;  // NodePath of the selected folder, with a trailing separator
    std::string destFolder;    // the text of Edit2
    std::vector<std::string> names;  // column 0 of the selected rows, top to bottom
};

// Runs the checks and the confirmation; true when the batch may start. Says why through ui.
bool CheckConvertCommand(const ConvertCommandInput& input, ConvertUi& ui, FileSystem& fs);

// The batch over the selected names, one file at a time, with the status text of each file.
BatchSummary ConvertSelection(const ConvertCommandInput& input, ConversionContext& ctx, ConvertUi& ui);

// The completion text with the counts, and the box that lists the files that failed.
std::string CompletionText(const BatchSummary& summary);
void ReportBatch(const BatchSummary& summary, ConvertUi& ui);

// The whole command as one call: checks, confirmation, batch, report.
BatchSummary Button4Click(const ConvertCommandInput& input, ConversionContext& ctx, ConvertUi& ui);

}  // namespace quellmark
