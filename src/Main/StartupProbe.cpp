#include "Main/StartupProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace pex {

namespace {

long long realtimeNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

// Watches every event of the application for the first window that is exposed on screen.
class FirstWindowWatcher : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!done_ && event->type() == QEvent::Expose) {
            auto* window = qobject_cast<QWindow*>(watched);
            if (window && window->isExposed()) {
                done_ = true;
                std::fprintf(stderr, "first-window %lld %s\n", realtimeNanoseconds(),
                             window->title().toUtf8().constData());
                std::fflush(stderr);
                QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
            }
        }
        return false;
    }

  private:
    bool done_ = false;
};

}  // namespace

void StartupProbe::installIfAsked() {
    const char* asked = std::getenv("PEXMORA_STARTUP_PROBE");
    if (!asked || !*asked) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    app->installEventFilter(new FirstWindowWatcher(app));
}

}  // namespace pex
