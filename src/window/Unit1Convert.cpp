// TForm1's Convert command: the driver's checks and confirmation on the window's thread, the
// batch on a worker thread with its progress in the status bar, and the driver's report at the
// end. Nothing else runs meanwhile: the commands are disabled and refused until it ends.
#include "Unit1.h"

#include "ConvertJob.h"
#include "QtText.h"
#include "WindowPlatform.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTableWidget>
#include <QTreeWidget>

#include <set>

namespace quellmark {

namespace {

// The driver's boxes, beep and status texts, shown by the window on its own thread.
class WindowConvertUi final : public ConvertUi {
public:
    WindowConvertUi(TForm1& form, WindowPlatform& platform) : form_(form), platform_(platform) {}
    void Beep() override { platform_.Beep(); }
    Answer MessageBox(const std::string& title, const std::string& text, BoxKind kind, Buttons buttons) override {
        return platform_.MessageBox(&form_, FromUtf8(title), FromUtf8(text), kind, buttons);
    }
    void SetStatus(const std::string& text) override { form_.ShowStatus(FromUtf8(text)); }

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
    ConvertCommandInput input = ConvertInput();
    WindowConvertUi ui(*this, platform_);
    if (!CheckConvertCommand(input, ui, *context_.fs)) return;
    StartBatch(std::move(input));
}

void TForm1::StartBatch(ConvertCommandInput input) {
    activity_ = Activity::Converting;
    EnableCommands(false);
    job_ = std::make_unique<ConvertJob>(std::move(input), context_,
                                        std::make_unique<WindowConvertUi>(*this, platform_));
    ProgressBar1->setRange(0, job_->Total());
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    connect(job_.get(), &ConvertJob::Status, this, &TForm1::ShowStatus, Qt::QueuedConnection);
    connect(job_.get(), &ConvertJob::Progress, ProgressBar1, &QProgressBar::setValue, Qt::QueuedConnection);
    connect(job_.get(), &ConvertJob::Finished, this, &TForm1::FinishBatch, Qt::QueuedConnection);
    job_->Start();
}

void TForm1::FinishBatch() {
    const BatchSummary summary = job_->Summary();
    job_.reset();
    ProgressBar1->hide();
    EnableCommands(true);
    WindowConvertUi ui(*this, platform_);
    ReportBatch(summary, ui);
    activity_ = Activity::Idle;
    emit BatchFinished();
}

}  // namespace quellmark
