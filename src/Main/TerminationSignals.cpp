#include "Main/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

constexpr std::array<int, 2> kSignals{SIGTERM, SIGINT};

// The pipe's write end, for the handler: a plain int is all a signal handler may touch.
volatile sig_atomic_t gWriteEnd = -1;
int gReadEnd = -1;
std::array<struct sigaction, kSignals.size()> gPrevious{};

void handleSignal(int number) {
    const int saved = errno;
    const int fd = gWriteEnd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(number);
        // A full pipe already holds a request to end: dropping this one loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    assertMainThread("TerminationSignals");
    int ends[2];
    if (gWriteEnd >= 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        consoleLog("无法安装退出信号处理");
        return;
    }
    gReadEnd = ends[0];
    gWriteEnd = ends[1];
    struct sigaction action {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &action, &gPrevious[i]);
    }
    notifier_ = new QSocketNotifier(gReadEnd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readSignals(); });
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    delete notifier_;  // before its descriptor closes
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    }
    const int writeEnd = gWriteEnd;
    gWriteEnd = -1;
    ::close(writeEnd);
    ::close(gReadEnd);
    gReadEnd = -1;
}

void TerminationSignals::readSignals() {
    unsigned char byte = 0;
    while (::read(gReadEnd, &byte, 1) == 1) {
        if (onSignal_) onSignal_(byte);
    }
}

}  // namespace pex
