// The main form's Convert command: the checks and the confirmation, then the engine's batch
// session on a thread of its own, its news brought to the window's thread, Stop, a destination
// that is lost stopping the batch once, and the report at the end.
#include "MainForm.h"

#include "../platform/system.h"
#include "ConvertCommand.h"
#include "ConvertReport.h"
#include "MainFormParts.h"
#include "WindowTexts.h"

#include <mutex>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

// The command's refusals and confirmation, as the window shows them.
class FormConvertUi final : public ConvertUi {
public:
    FormConvertUi(FormView& view, std::function<void(const std::string&)> status)
        : view_(view), status_(std::move(status)) {}
    void Refuse(CommandRefusal why) override {
        const RefusalBox box = RefusalBoxOf(why);
        view_.Beep();
        view_.MessageBox({}, box.text, box.kind, Buttons::Ok);
        if (box.statusToo) status_(box.text);
    }
    bool ConfirmStart() override {
        if (view_.MessageBox({}, texts::kConfirmStart, BoxKind::Confirmation, Buttons::YesNo) == Answer::No) {
            status_(texts::kCancelled);
            return false;
        }
        return true;
    }

private:
    FormView& view_;
    std::function<void(const std::string&)> status_;
};

}  // namespace

// One batch: the session on its thread, and what its events leave for the window.
class MainForm::Batch final : public SessionEvents {
public:
    Batch(MainForm& form, JobList jobs, SessionRequest request)
        : files_(form.files_), view_(form.view_), alive_(form.alive_), jobs_(std::move(jobs)),
          request_(std::move(request)) {
        request_.settings.stop = &stop_;
    }
    ~Batch() override {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }

    void Start() {
        thread_ = std::thread([this] {
            result_ = RunSession(files_, request_, jobs_, this);
            Post([](MainForm& form) { form.BatchFinished(); });
        });
    }
    void Stop() { stop_ = true; }
    int Total() const { return static_cast<int>(jobs_.size()); }

    // After the thread has ended.
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    const SessionResult& Result() const { return result_; }
    const std::vector<FileResult>& Failed() const { return failed_; }
    const std::vector<FileResult>& Skipped() const { return skipped_; }
    const std::vector<FileResult>& Changed() const { return changed_; }
    const std::string& Lost() const { return lost_; }

    // ---- the session's events, from its threads ----
    void Waiting(const fs::path&, const Holder& holder) override {
        Post([text = WaitingText(holder)](MainForm& form) { form.ShowStatus(text); });
    }
    void FileStarted(std::size_t, const BatchJob& job) override {
        Post([text = ConvertingText(PathText(job.source), PathText(job.dest))](MainForm& form) { form.ShowStatus(text); });
    }
    void FileFinished(std::size_t, const FileResult& result) override {
        std::string lost;
        if (result.outcome == Outcome::Failed && result.failure.kind == ProblemKind::CannotWrite) lost = DestinationLost();
        int done;
        {
            std::lock_guard lock(mutex_);
            done = ++done_;
            if (result.outcome == Outcome::Failed) failed_.push_back(result);
            // A drawing the writers changed beyond its marks is named with what they changed.
            if (result.outcome == Outcome::Converted && result.changes.normalised()) changed_.push_back(result);
            // A file named as a drawing that is none: worth a word, unlike a text file passed over.
            if (result.outcome == Outcome::Skipped && FormatOfName(result.source) != DrawingFormat::None) {
                skipped_.push_back(result);
            }
            if (!lost.empty() && lost_.empty()) {
                lost_ = lost;
                stop_ = true;
            }
        }
        Post([done, total = Total()](MainForm& form) { form.view_.ShowProgress(done, total); });
    }

private:
    // Why no further drawing can be written, when the failure came from the destination itself
    // (gone, or no longer writable) rather than from this one drawing; empty otherwise.
    std::string DestinationLost() {
        if (files_.examine(request_.dest).kind != PathKind::Folder) return texts::kDestinationGone;
        if (!files_.writable(request_.dest)) return texts::kDestinationUnwritable;
        return {};
    }
    // Runs the call on the window's thread if the form is still there.
    void Post(std::function<void(MainForm&)> call) {
        view_.Post([alive = std::weak_ptr<MainForm*>(alive_), call = std::move(call)] {
            if (const auto form = alive.lock()) call(**form);
        });
    }

    FileSystem& files_;
    FormView& view_;
    std::weak_ptr<MainForm*> alive_;
    JobList jobs_;
    SessionRequest request_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    SessionResult result_;
    std::mutex mutex_;
    int done_ = 0;
    std::vector<FileResult> failed_;
    std::vector<FileResult> skipped_;
    std::vector<FileResult> changed_;
    std::string lost_;
};

// Here, where a Batch is complete, as the form owns the one that runs.
MainForm::MainForm(FormView& view, FileSystem& files, fs::path appDir)
    : view_(view), files_(files), appDir_(std::move(appDir)), alive_(std::make_shared<MainForm*>(this)) {}

MainForm::~MainForm() {
    search_.reset();
    batch_.reset();
}

void MainForm::Convert() {
    if (Refused()) return;
    ConvertCommandInput input;
    input.searchReady = FSearchReady;
    // The names listed belong to the folder the list was filled from, whatever the tree shows.
    input.listShown = FListShown && !listedFolder_.empty();
    input.sourceFolder = listedFolder_;
    input.destFolder = FDestFolder;
    std::vector<int> rows = view_.SelectedRows();
    if (rows.empty() && view_.CurrentRow() >= 0) rows.push_back(view_.CurrentRow());
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        if (row >= 0 && row < static_cast<int>(rows_.size())) input.names.push_back(rows_[row].cells[kNameColumn]);
    }
    FormConvertUi ui(view_, [this](const std::string& text) { ShowStatus(text); });
    if (!CheckConvertCommand(input, ui, files_)) return;

    activity_ = FormActivity::Converting;
    view_.ShowActivity(activity_);
    batch_ = std::make_unique<Batch>(*this, CommandJobs(input), CommandSession(input, tempFolder_));
    view_.ShowProgress(0, batch_->Total());
    batch_->Start();
}

void MainForm::Stop() {
    if (search_) {
        search_->Stop();  // it ends at once, keeping what it found
        return;
    }
    if (!batch_) return;
    batch_->Stop();
    ShowStatus(texts::kStopping);
}

void MainForm::BatchFinished() {
    if (!batch_) return;
    batch_->Join();
    const std::unique_ptr<Batch> batch = std::move(batch_);
    activity_ = FormActivity::Idle;
    view_.ShowActivity(activity_);
    const SessionResult& result = batch->Result();
    if (result.setup) {
        // Nothing was converted; a batch stopped while it waited is simply cancelled.
        ShowStatus(SetupFailureText(result.setup));
        if (result.setup.kind != SetupKind::Stopped) {
            view_.Beep();
            view_.MessageBox({}, SetupFailureText(result.setup), BoxKind::Error, Buttons::Ok);
        }
    } else {
        ShowStatus(batch->Lost().empty() ? CompletionText(result.summary) : StoppedText(batch->Lost(), result.summary));
        const std::string report =
            BatchReportText(batch->Failed(), batch->Skipped(), batch->Changed(), result.summary);
        // A report that only names what the writers changed informs; one with failures warns.
        const bool warns = !batch->Failed().empty() || !batch->Skipped().empty() || !result.summary.warnings.empty();
        if (!report.empty()) {
            view_.MessageBox(batch->Failed().empty() ? texts::kReportTitle : texts::kFailedFilesTitle, report,
                             warns ? BoxKind::Warning : BoxKind::Information, Buttons::Ok);
        }
    }
    if (std::exchange(closeWhenIdle_, false)) view_.CloseWindow();
}

}  // namespace quellmark
