// The worker side of a Convert batch.
#include "ConvertJob.h"

#include "QtText.h"

#include <QThread>

namespace quellmark {

// The session's news as the job's signals; the session calls it one call at a time.
class ConvertJob::Relay final : public SessionEvents {
public:
    explicit Relay(ConvertJob& job) : job_(job) {}
    void Waiting(const std::filesystem::path&) override { emit job_.Waiting(); }
    void FileStarted(std::size_t, const BatchJob& job) override {
        emit job_.Started(FromPath(job.source), FromPath(job.dest));
    }
    void FileFinished(std::size_t, const FileResult& result) override {
        if (result.outcome == Outcome::Failed) job_.failed_.push_back(result);
        emit job_.Progress(++done_, job_.Total());
    }

private:
    ConvertJob& job_;
    int done_ = 0;
};

ConvertJob::ConvertJob(JobList jobs, SessionRequest request, FileSystem& fs, QObject* parent)
    : QObject(parent), jobs_(std::move(jobs)), request_(std::move(request)), fs_(fs) {
    request_.settings.stop = &stop_;
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

// The whole session runs on this thread, its locks taken and let go here.
void ConvertJob::Run() {
    Relay relay(*this);
    result_ = RunSession(fs_, request_, jobs_, &relay);
}

}  // namespace quellmark
