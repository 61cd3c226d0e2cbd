// A Convert batch on a thread of its own, so the window keeps repainting and shows progress. It
// runs the engine's batch session, the same as the command line, with the destination's lock,
// the sweep of killed runs' leftovers and conversions in parallel; the session's news reaches
// the window's thread as queued signals. The window takes no other command but Stop until
// Finished arrives.
#pragma once

#include "../convert/session.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class QThread;

namespace quellmark {

class ConvertJob final : public QObject {
    Q_OBJECT
public:
    ConvertJob(JobList jobs, SessionRequest request, FileSystem& fs, QObject* parent = nullptr);
    ~ConvertJob() override;

    void Start();
    // The drawings under way finish; no more start. A wait for another run ends.
    void Stop() { stop_ = true; }
    // The session's result and the files that failed; complete once Finished has arrived.
    const SessionResult& Result() const { return result_; }
    const std::vector<FileResult>& Failed() const { return failed_; }
    int Total() const { return static_cast<int>(jobs_.size()); }

signals:
    // Each of these arrives on the thread that owns the job.
    void Started(const QString& source, const QString& dest);
    // Another run is writing into the destination; the batch waits for it (Stop ends the wait).
    void Waiting();
    void Progress(int done, int total);
    void Finished();

private:
    class Relay;

    void Run();

    JobList jobs_;
    SessionRequest request_;
    FileSystem& fs_;
    std::atomic<bool> stop_{false};
    SessionResult result_;
    std::vector<FileResult> failed_;
    std::unique_ptr<QThread> thread_;
};

}  // namespace quellmark
