#include "platform/avfoundation/CaptureAuthorization.h"

#include <mutex>

namespace pex {

namespace {

// Sound servers on Linux let every user process record; there is nothing to ask.
class SystemCaptureAuthorization : public CaptureAuthorization {
  public:
    AuthorizationStatus authorizationStatusForAudio() override {
        return AuthorizationStatus::authorized;
    }
    void requestAccessForAudio(AccessHandler handler) override {
        if (handler) handler(true);
    }
};

struct Installed {
    std::mutex mutex;
    std::shared_ptr<CaptureAuthorization> backend;
};

Installed& installed() {
    static Installed instance;
    return instance;
}

}  // namespace

std::shared_ptr<CaptureAuthorization> CaptureAuthorization::current() {
    Installed& state = installed();
    std::lock_guard lock(state.mutex);
    if (!state.backend) state.backend = std::make_shared<SystemCaptureAuthorization>();
    return state.backend;
}

void CaptureAuthorization::install(std::shared_ptr<CaptureAuthorization> backend) {
    Installed& state = installed();
    std::lock_guard lock(state.mutex);
    state.backend = std::move(backend);
}

}  // namespace pex
