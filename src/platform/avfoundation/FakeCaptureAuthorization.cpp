#include "platform/avfoundation/FakeCaptureAuthorization.h"

namespace pex {

std::shared_ptr<FakeCaptureAuthorization> FakeCaptureAuthorization::install(
    AuthorizationStatus status) {
    auto fake = std::make_shared<FakeCaptureAuthorization>(status);
    CaptureAuthorization::install(fake);
    return fake;
}

void FakeCaptureAuthorization::requestAccessForAudio(AccessHandler handler) {
    ++requests_;
    pending_.push_back(std::move(handler));
}

void FakeCaptureAuthorization::answerRequests(bool granted) {
    std::vector<AccessHandler> answering;
    answering.swap(pending_);
    for (AccessHandler& handler : answering) {
        if (handler) handler(granted);
    }
}

}  // namespace pex
