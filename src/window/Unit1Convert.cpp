// TForm1's Convert command: the engine's checks and confirmation on the window's thread, the
// batch on the engine's runner with its progress in the status bar, Stop, and the report at the
// end. Nothing else runs meanwhile: the other commands are disabled and refused until it ends.
#include "Unit1.h"

#include "../form/ConvertReport.h"
#include "../form/WindowTexts.h"
#include "ConvertJob.h"
#include "QtText.h"
#include "WindowPlatform.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

#include <set>

namespace quellmark {

namespace {

// The command's refusals and confirmation, as the window shows them.
class WindowConvertUi final : public ConvertUi {
public:
    WindowConvertUi(TForm1& form, WindowPlatform& platform) : form_(form), platform_(platform) {}
    void Refuse(CommandRefusal why) override {
        const RefusalBox box = RefusalBoxOf(why);
        platform_.Beep();
        platform_.MessageBox(&form_, QString(), FromUtf8(box.text), box.kind, Buttons::Ok);
        if (box.statusToo) form_.ShowStatus(FromUtf8(box.text));
    }
    bool ConfirmStart() override {
        if (platform_.MessageBox(&form_, QString(), FromUtf8(texts::kConfirmStart), BoxKind::Confirmation,
                                 Buttons::YesNo) == Answer::No) {
            form_.ShowStatus(FromUtf8(texts::kCancelled));
            return false;
        }
        return true;
    }

private:
    TForm1& form_;
    WindowPlatform& platform_;
};

}  // namespace

ConvertCommandInput TForm1::ConvertInput() const {
    ConvertCommandInput input;
    input.searchReady = FSearchReady;
    // The names listed belong to the folder the list was filled from, whatever the tree
    // highlights now.
    input.listShown = FListShown && !listedFolder_.isEmpty();
    input.sourceFolder = ToUtf8(listedFolder_);
    input.destFolder = ToUtf8(Edit2->text());
    std::set<int> rows;
    for (const QModelIndex& index : StringGrid1->selectionModel()->selectedRows()) rows.insert(index.row() + 1);
    if (rows.empty() && StringGrid1->currentRow() >= 0) rows.insert(StringGrid1->currentRow() + 1);
    for (int row : rows) input.names.push_back(ToUtf8(Cell(0, row)));
    return input;
}

void TForm1::Button4Click() {
    if (Refused()) return;
    const ConvertCommandInput input = ConvertInput();
    WindowConvertUi ui(*this, platform_);
    if (!CheckConvertCommand(input, ui, *context_.fs)) return;
    StartBatch(CommandJobs(input), CommandSession(input, context_.images.TempFolder));
}

void TForm1::StartBatch(JobList jobs, SessionRequest request) {
    activity_ = Activity::Converting;
    EnableCommands(false);
    job_ = std::make_unique<ConvertJob>(std::move(jobs), std::move(request), *context_.fs);
    ProgressBar1->setRange(0, job_->Total());
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    ButtonStop->setEnabled(true);
    ButtonStop->show();
    connect(job_.get(), &ConvertJob::Started, this, [this](const QString& source, const QString& dest) {
        ShowStatus(FromUtf8(ConvertingText(ToUtf8(source), ToUtf8(dest))));
    }, Qt::QueuedConnection);
    connect(job_.get(), &ConvertJob::Waiting, this, [this] { ShowStatus(FromUtf8(texts::kWaitingForOtherRun)); },
            Qt::QueuedConnection);
    connect(job_.get(), &ConvertJob::Progress, ProgressBar1, &QProgressBar::setValue, Qt::QueuedConnection);
    connect(job_.get(), &ConvertJob::Finished, this, &TForm1::FinishBatch, Qt::QueuedConnection);
    job_->Start();
}

void TForm1::ButtonStopClick() {
    if (!job_) return;
    job_->Stop();
    ButtonStop->setEnabled(false);
    ShowStatus(FromUtf8(texts::kStopping));
}

void TForm1::FinishBatch() {
    const SessionResult result = job_->Result();
    const std::vector<FileResult> failed = job_->Failed();
    job_.reset();
    ProgressBar1->hide();
    ButtonStop->hide();
    EnableCommands(true);
    if (result.setup) {
        // Nothing was converted; a batch stopped while it waited is simply cancelled.
        const QString text = FromUtf8(SetupFailureText(result.setup));
        ShowStatus(text);
        if (result.setup.kind != SetupKind::Stopped) {
            platform_.Beep();
            platform_.MessageBox(this, QString(), text, BoxKind::Error, Buttons::Ok);
        }
    } else {
        ShowStatus(FromUtf8(CompletionText(result.summary)));
        if (!failed.empty() || !result.summary.warnings.empty()) {
            platform_.MessageBox(this, FromUtf8(texts::kFailedFilesTitle),
                                 FromUtf8(FailedFilesText(failed, result.summary)), BoxKind::Warning, Buttons::Ok);
        }
    }
    activity_ = Activity::Idle;
    emit BatchFinished();
}

}  // namespace quellmark
