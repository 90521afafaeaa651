#pragma once
// SIGTERM (a desktop logging out, a system shutdown) and SIGINT (Ctrl+C in a terminal) end the
// application the way Quit does, in order, instead of killing it on the spot. The handler only
// writes the signal's number into a pipe; the main loop reads it and calls `onSignal` there,
// where any work is safe. Main thread only; one instance at a time.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace pex {

class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers for SIGTERM and SIGINT; `onSignal` receives the signal's number.
    explicit TerminationSignals(std::function<void(int signal)> onSignal,
                                QObject* parent = nullptr);
    // Puts the handlers that were there before back.
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool isInstalled() const { return notifier_ != nullptr; }

  private:
    void readSignals();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pex
