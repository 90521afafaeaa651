#include "platform/mach/CrashSignals.h"

#include <signal.h>

#include "platform/mach/ThreadParking.h"

namespace pex {

int crashStackRequestSignal() {
    return SIGRTMIN + 7;
}

void acceptCrashSignals() {
    thread_local bool accepted = false;
    if (accepted) return;
    sigset_t signals;
    sigemptyset(&signals);
    for (const int fault : kCrashFaultSignals) {
        sigaddset(&signals, fault);
    }
    sigaddset(&signals, ThreadParking::signalNumber());
    sigaddset(&signals, crashStackRequestSignal());
    accepted = pthread_sigmask(SIG_UNBLOCK, &signals, nullptr) == 0;
}

}  // namespace pex
