#include "Main/StartupProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

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
    FirstWindowWatcher(QObject* parent, bool stop) : QObject(parent), stop_(stop) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!done_ && event->type() == QEvent::Expose) {
            auto* window = qobject_cast<QWindow*>(watched);
            if (window && window->isExposed()) {
                done_ = true;
                std::fprintf(stderr, "first-window %lld %s\n", realtimeNanoseconds(),
                             window->title().toUtf8().constData());
                std::fflush(stderr);
                // Held still for the measurement to read the process' memory and libraries
                // as they are now; it goes on when continued.
                if (stop_) ::raise(SIGSTOP);
                QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
            }
        }
        return false;
    }

  private:
    const bool stop_;
    bool done_ = false;
};

}  // namespace

void StartupProbe::installIfAsked() {
    const char* asked = std::getenv("PEXMORA_STARTUP_PROBE");
    if (!asked || !*asked) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    app->installEventFilter(new FirstWindowWatcher(app, std::string_view(asked) == "stop"));
}

}  // namespace pex
