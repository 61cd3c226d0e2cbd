// A Convert batch on a thread of its own, so the window keeps repainting and shows progress. It
// runs the engine's batch runner, the same as the command line, with conversions in parallel;
// the runner's news reaches the window's thread as queued signals. The window takes no other
// command but Stop until Finished arrives.
#pragma once

#include "../convert/batch.h"

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
    // The drawings go into destFolder, which the job locks against other runs while it writes
    // there; image bytes pass through folders of their own below tempRoot.
    ConvertJob(std::vector<BatchJob> jobs, std::filesystem::path destFolder, ConvertSettings settings,
               std::filesystem::path tempRoot, FileSystem& fs, QObject* parent = nullptr);
    ~ConvertJob() override;

    void Start();
    // The drawings under way finish; no more start.
    void Stop() { stop_ = true; }
    // The batch's result; complete once Finished has arrived.
    const BatchSummary& Summary() const { return summary_; }
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

    std::vector<BatchJob> jobs_;
    std::filesystem::path destFolder_;
    ConvertSettings settings_;
    std::filesystem::path tempRoot_;
    FileSystem& fs_;
    std::atomic<bool> stop_{false};
    BatchSummary summary_;
    std::unique_ptr<QThread> thread_;
};

}  // namespace quellmark
