// One watcher for the events of one object: the window hooks each widget it needs to hear from
// exactly once, so no event reaches a handler twice.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <functional>
#include <utility>

namespace quellmark {

class EventHook final : public QObject {
    Q_OBJECT
public:
    // Returns true when the event is used up and goes no further.
    using Handler = std::function<bool(QObject* watched, QEvent* event)>;

    // Watches the object for as long as the owner lives.
    EventHook(QObject* watched, QObject* owner, Handler handler)
        : QObject(owner), watched_(watched), handler_(std::move(handler)) {
        watched_->installEventFilter(this);
    }
    ~EventHook() override {
        if (watched_) watched_->removeEventFilter(this);
    }
    EventHook(const EventHook&) = delete;
    EventHook& operator=(const EventHook&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return handler_(watched, event); }

private:
    QPointer<QObject> watched_;
    Handler handler_;
};

}  // namespace quellmark
