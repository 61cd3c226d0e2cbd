// The worker side of a Convert batch.
#include "ConvertJob.h"

#include "QtText.h"

#include <QThread>

#include <thread>

namespace quellmark {

// The runner's news as the job's signals; the runner calls it one call at a time.
class ConvertJob::Relay final : public BatchObserver {
public:
    explicit Relay(ConvertJob& job) : job_(job) {}
    void FileStarted(std::size_t, const BatchJob& job) override {
        emit job_.Started(FromPath(job.source), FromPath(job.dest));
    }
    void FileFinished(std::size_t, const FileResult&) override { emit job_.Progress(++done_, job_.Total()); }

private:
    ConvertJob& job_;
    int done_ = 0;
};

ConvertJob::ConvertJob(std::vector<BatchJob> jobs, std::filesystem::path destFolder, ConvertSettings settings,
                       std::filesystem::path tempRoot, FileSystem& fs, QObject* parent)
    : QObject(parent), jobs_(std::move(jobs)), destFolder_(std::move(destFolder)), settings_(std::move(settings)),
      tempRoot_(std::move(tempRoot)), fs_(fs) {
    settings_.stop = &stop_;
}

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
    // One run at a time writes into a folder, the command line's included. The wait is a poll,
    // so Stop can end it.
    std::unique_ptr<FolderHandle> lock;
    bool told = false;
    while (!stop_) {
        const auto ec = fs_.lockFolder(destFolder_, false, lock);
        if (ec != std::errc::resource_unavailable_try_again) break;
        if (!told) emit Waiting();
        told = true;
        QThread::msleep(200);
    }
    Relay relay(*this);
    const int workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    summary_ = RunBatch(jobs_, workers, settings_, tempRoot_, fs_, &relay, lock != nullptr);
}

}  // namespace quellmark
