#pragma once
// An object that runs work posted to it on the thread it lives on, in order, through Qt's event
// queue. Qt orders that queue with its own futex-based locks, which the thread sanitizer cannot
// see, so each hand-over is told to it: what the posting thread did before `post` is seen by the
// work, and a race in the work itself is still reported. Header-only: it needs only Qt Core.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>

#include "platform/foundation/ThreadSanitizerOrder.h"

namespace pex {

class OrderedWorkReceiver : public QObject {
  public:
    using Work = std::function<void()>;
    using QObject::QObject;

    // Runs `work` on this object's thread after what is queued there already. Any thread.
    void post(Work work) {
        auto* event = new WorkEvent(std::move(work));
        handOver(event);
        QCoreApplication::postEvent(this, event);
    }

    // The same, and returns once `work` has run; what it did is then seen by the caller. Not
    // from this object's own thread.
    void postAndWait(Work work) {
        std::mutex mutex;
        std::condition_variable ran;
        bool done = false;
        post([&] {
            work();
            std::lock_guard lock(mutex);
            done = true;
            ran.notify_one();
        });
        std::unique_lock lock(mutex);
        ran.wait(lock, [&] { return done; });
    }

  protected:
    // Only the work events are custom events here. Qt's own events never reach this code, so it
    // reads no event that Qt made.
    void customEvent(QEvent* event) override {
        takeOver(event);  // before the event is read
        if (event->type() != WorkEvent::kind()) return;
        // The work may delete this object: nothing of it is touched afterwards.
        Work work = static_cast<WorkEvent*>(event)->take();
        work();
    }

  private:
    class WorkEvent final : public QEvent {
      public:
        static QEvent::Type kind() {
            static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
            return type;
        }
        explicit WorkEvent(Work work) : QEvent(kind()), work_(std::move(work)) {}
        Work take() { return std::move(work_); }

      private:
        Work work_;
    };
};

}  // namespace pex
