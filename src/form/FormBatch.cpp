// The main form's Convert command: the checks and the confirmation, then the engine's batch
// session on a thread of its own, its news brought to the window's thread, Stop, a destination
// that is lost stopping the batch once, and the report at the end.
#include "MainForm.h"

#include "../platform/system.h"
#include "ConvertCommand.h"
#include "ConvertReport.h"
#include "MainFormParts.h"
#include "TypedFolder.h"
#include "WindowTexts.h"

#include <mutex>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

// The command's refusals and confirmation, as the window shows them.
class FormConvertUi final : public ConvertUi {
public:
    FormConvertUi(FormDesktop& desktop, const ConvertCommandInput& input,
                  std::function<void(const std::string&)> status)
        : desktop_(desktop), input_(input), status_(std::move(status)) {}
    void Refuse(CommandRefusal why) override {
        const RefusalBox box = RefusalBoxOf(why);
        desktop_.Beep();
        desktop_.MessageBox({}, box.text, box.kind, Buttons::Ok);
        // The status says the refusal, never what the last batch did.
        status_(box.text);
    }
    bool ConfirmStart() override {
        const std::string question = texts::ConvertQuestionText(input_.names.size(), input_.destFolder);
        if (desktop_.MessageBox({}, question, BoxKind::Confirmation, Buttons::YesNo) != Answer::Yes) {
            status_(texts::kCancelled);
            return false;
        }
        return true;
    }

private:
    FormDesktop& desktop_;
    const ConvertCommandInput& input_;
    std::function<void(const std::string&)> status_;
};

}  // namespace

// One batch: the session on its thread, and what its events leave for the window.
class MainForm::Batch final : public SessionEvents {
public:
    Batch(MainForm& form, JobList jobs, SessionRequest request)
        : files_(form.files_), alive_(form.alive_), jobs_(std::move(jobs)), request_(std::move(request)) {
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

    // After the thread has ended; the drawings named in the order of the list.
    void Join() {
        if (thread_.joinable()) thread_.join();
        for (auto* named : {&failed_, &skipped_, &changed_}) {
            std::stable_sort(named->begin(), named->end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        }
    }
    const SessionResult& Result() const { return result_; }
    std::vector<FileResult> Failed() const { return Results(failed_); }
    std::vector<FileResult> Skipped() const { return Results(skipped_); }
    std::vector<FileResult> Changed() const { return Results(changed_); }
    const std::string& Lost() const { return lost_; }

    // ---- the session's events, from its threads ----
    void Waiting(const fs::path&, const Holder& holder) override { Tell(WaitingText(holder)); }
    void FileStarted(std::size_t, const BatchJob& job) override {
        Tell(ConvertingText(PathText(job.source), PathText(job.dest)));
    }
    void FileFinished(std::size_t index, const FileResult& result) override {
        std::string lost;
        if (result.outcome == Outcome::Failed && result.failure.kind == ProblemKind::CannotWrite)
            lost = DestinationLost();
        {
            std::lock_guard lock(mutex_);
            ++done_;
            if (result.outcome == Outcome::Failed) failed_.emplace_back(index, result);
            // A drawing the writers changed beyond its marks is named with what they changed.
            if (result.outcome == Outcome::Converted && result.changes.normalised())
                changed_.emplace_back(index, result);
            // A file named as a drawing that is none: worth a word, unlike a text file passed over.
            if (result.outcome == Outcome::Skipped && FormatOfName(result.source) != DrawingFormat::None) {
                skipped_.emplace_back(index, result);
            }
            if (!lost.empty() && lost_.empty()) {
                lost_ = lost;
                stop_ = true;
            }
        }
        Tell({});
    }

    // Shows the latest news on the window's thread: the status and how many are done.
    void Deliver(MainForm& form) {
        newsPosted_ = false;
        std::string status;
        int done;
        {
            std::lock_guard lock(mutex_);
            status = std::exchange(newsStatus_, std::string());
            done = done_;
        }
        if (!status.empty()) form.ShowStatus(status);
        form.view_.ShowProgress(done, Total());
    }

private:
    using Numbered = std::vector<std::pair<std::size_t, FileResult>>;
    static std::vector<FileResult> Results(const Numbered& numbered) {
        std::vector<FileResult> results;
        for (const auto& [index, result] : numbered) results.push_back(result);
        return results;
    }
    // Why no further drawing can be written, when the failure came from the destination itself
    // (gone, or no longer writable) rather than from this one drawing; empty otherwise.
    std::string DestinationLost() {
        if (files_.examine(request_.dest).kind != PathKind::Folder) return texts::kDestinationGone;
        if (!files_.writable(request_.dest)) return texts::kDestinationUnwritable;
        return {};
    }
    // Keeps the news and wakes the window for it once: workers report faster than a window
    // paints, and a call per report would queue up behind each other, leaving the bar and the
    // status far behind the drawings written.
    void Tell(std::string status) {
        if (!status.empty()) {
            std::lock_guard lock(mutex_);
            newsStatus_ = std::move(status);
        }
        if (newsPosted_.exchange(true)) return;
        Post([](MainForm& form) {
            if (form.batch_) form.batch_->Deliver(form);
        });
    }
    // Runs the call on the window's thread if the form is still there.
    void Post(std::function<void(MainForm&)> call) {
        const auto form = alive_.lock();
        if (!form) return;
        (*form)->view_.Post([alive = alive_, call = std::move(call)] {
            if (const auto form = alive.lock()) call(**form);
        });
    }

    FileSystem& files_;
    std::weak_ptr<MainForm*> alive_;
    JobList jobs_;
    SessionRequest request_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    SessionResult result_;
    std::mutex mutex_;
    int done_ = 0;
    std::string newsStatus_;  // the status not yet shown
    std::atomic<bool> newsPosted_{false};
    Numbered failed_;
    Numbered skipped_;
    Numbered changed_;
    std::string lost_;
};

// Here, where a Batch is complete, as the form owns the one that runs.
MainForm::MainForm(FormView& view, FormDesktop& desktop, FileSystem& files, fs::path appDir)
    : view_(view),
      desktop_(desktop),
      files_(files),
      appDir_(std::move(appDir)),
      pane_(view, files),
      alive_(std::make_shared<MainForm*>(this)) {}

MainForm::~MainForm() {
    search_.reset();
    batch_.reset();
}

void MainForm::Convert() {
    if (Refused()) return;
    // A destination typed into the field and not yet taken with Enter is checked as Enter checks it.
    if (const std::string field = view_.DestFieldText();
        CleanTypedFolder(field) != FDestFolder && !TakeDestField(field))
        return;
    ConvertCommandInput input;
    input.searchReady = FSearchReady;
    // The names listed belong to the folder the list was filled from, whatever the tree shows.
    input.listShown = FListShown && !listedFolder_.empty();
    input.sourceFolder = listedFolder_;
    input.destFolder = FDestFolder;
    // Every selected row, and only those: the current row alone is no choice.
    std::vector<int> rows = view_.SelectedRows();
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        if (row >= 0 && row < static_cast<int>(rows_.size())) input.names.push_back(rows_[row].cells[kNameColumn]);
    }
    FormConvertUi ui(desktop_, input, [this](const std::string& text) { Announce(text); });
    if (!CheckConvertCommand(input, ui, files_)) return;

    focusBeforeBatch_ = view_.FocusedControl();
    activity_ = FormActivity::Converting;
    view_.ShowActivity(activity_);
    view_.Focus(FormControl::Stop);
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
    // The question whether to stop the batch and close no longer holds: it goes, before any
    // box of the batch's own.
    if (closeQuestionUp_) {
        closeQuestionDismissed_ = true;
        desktop_.DismissBox();
    }
    batch_->Join();
    const std::unique_ptr<Batch> batch = std::move(batch_);
    // The keyboard goes back where it was when the batch started, unless the user moved it.
    const FormControl focused = view_.FocusedControl();
    activity_ = FormActivity::Idle;
    view_.ShowActivity(activity_);
    if (focused == FormControl::Stop || focused == FormControl::None) view_.Focus(focusBeforeBatch_);
    // The batch may have written drawings the pane has seen.
    pane_.Forget();
    const SessionResult& result = batch->Result();
    if (result.setup) {
        // Nothing was converted; a batch stopped while it waited is simply cancelled.
        Announce(SetupFailureText(result.setup));
        if (result.setup.kind != SetupKind::Stopped) {
            desktop_.Beep();
            desktop_.MessageBox({}, SetupFailureText(result.setup), BoxKind::Error, Buttons::Ok);
        }
    } else {
        Announce(batch->Lost().empty() ? CompletionText(result.summary) : StoppedText(batch->Lost(), result.summary));
        const std::string report = BatchReportText(batch->Failed(), batch->Skipped(), batch->Changed(), result.summary);
        // A report that only names what the writers changed informs; one with failures warns.
        const bool warns = !batch->Failed().empty() || !batch->Skipped().empty() || !result.summary.warnings.empty();
        if (!report.empty()) {
            desktop_.MessageBox(batch->Failed().empty() ? texts::kReportTitle : texts::kFailedFilesTitle, report,
                                warns ? BoxKind::Warning : BoxKind::Information, Buttons::Ok);
        }
    }
    if (std::exchange(closeWhenIdle_, false)) view_.CloseWindow();
}

}  // namespace quellmark
