// The worker side of a Convert batch.
#include "ConvertJob.h"

#include <QThread>

namespace quellmark {

// What the driver says while it works goes to the window's thread: status texts as a queued
// signal, a beep queued, a box (which needs an answer) waited for.
class RelayUi final : public ConvertUi {
public:
    explicit RelayUi(ConvertJob& job) : job_(job) {}
    void Beep() override {
        QMetaObject::invokeMethod(&job_, [ui = job_.windowUi_.get()] { ui->Beep(); }, Qt::QueuedConnection);
    }
    Answer MessageBox(const std::string& title, const std::string& text, BoxKind kind, Buttons buttons) override {
        Answer answer = Answer::Closed;
        QMetaObject::invokeMethod(
            &job_, [&] { answer = job_.windowUi_->MessageBox(title, text, kind, buttons); },
            Qt::BlockingQueuedConnection);
        return answer;
    }
    void SetStatus(const std::string& text) override { emit job_.Status(QString::fromStdString(text)); }

private:
    ConvertJob& job_;
};

ConvertJob::ConvertJob(ConvertCommandInput input, ConversionContext& ctx, std::unique_ptr<ConvertUi> windowUi,
                       QObject* parent)
    : QObject(parent), input_(std::move(input)), ctx_(ctx), windowUi_(std::move(windowUi)) {}

ConvertJob::~ConvertJob() {
    if (thread_) thread_->wait();
}

void ConvertJob::Start() {
    thread_.reset(QThread::create([this] { Run(); }));
    connect(thread_.get(), &QThread::finished, this, [this] {
        thread_->wait();
        emit Finished();
    }, Qt::QueuedConnection);
    thread_->start();
}

void ConvertJob::Run() {
    RelayUi ui(*this);
    const int total = Total();
    for (int i = 0; i < total; ++i) {
        // One name at a time, so progress counts every row, skipped ones too.
        ConvertCommandInput one = input_;
        one.names = {input_.names[static_cast<std::size_t>(i)]};
        const BatchSummary part = ConvertSelection(one, ctx_, ui);
        for (const FileResult& r : part.results) summary_.add(r);
        summary_.seconds += part.seconds;
        emit Progress(i + 1, total);
    }
}

}  // namespace quellmark
