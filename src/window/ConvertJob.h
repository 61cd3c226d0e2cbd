// A Convert batch on a thread of its own, so the window keeps repainting and shows progress.
// It converts through the driver one selected name at a time; what the driver says goes to the
// window's thread (status texts and progress as queued signals, anything else to the window's
// own ConvertUi there). The window takes no other command until Finished arrives.
#pragma once

#include "../convert/convert.h"

#include <QObject>
#include <QString>

#include <memory>

class QThread;

namespace quellmark {

class ConvertJob final : public QObject {
    Q_OBJECT
public:
    // ctx must not be touched by anyone else until Finished. windowUi is used on the thread that
    // owns the job only.
    ConvertJob(ConvertCommandInput input, ConversionContext& ctx, std::unique_ptr<ConvertUi> windowUi,
               QObject* parent = nullptr);
    ~ConvertJob() override;

    void Start();
    // The batch's result; complete once Finished has arrived.
    const BatchSummary& Summary() const { return summary_; }
    int Total() const { return static_cast<int>(input_.names.size()); }

signals:
    // Each of these arrives on the thread that owns the job.
    void Status(const QString& text);
    void Progress(int done, int total);
    void Finished();

private:
    friend class RelayUi;
    void Run();

    ConvertCommandInput input_;
    ConversionContext& ctx_;
    std::unique_ptr<ConvertUi> windowUi_;
    BatchSummary summary_;
    std::unique_ptr<QThread> thread_;
};

}  // namespace quellmark
