#pragma once
// A capture permission that answers with the status a test sets and counts the access
// requests; the answer to a request is held until the test gives it.
#include <vector>

#include "platform/avfoundation/CaptureAuthorization.h"

namespace pex {

class FakeCaptureAuthorization : public CaptureAuthorization {
  public:
    // A new fake with `status`, installed as the process's backend.
    static std::shared_ptr<FakeCaptureAuthorization> install(AuthorizationStatus status);

    explicit FakeCaptureAuthorization(AuthorizationStatus status) : status(status) {}

    AuthorizationStatus authorizationStatusForAudio() override { return status; }
    void requestAccessForAudio(AccessHandler handler) override;

    // Answers every request held so far.
    void answerRequests(bool granted);
    int requestCount() const { return requests_; }

    AuthorizationStatus status;

  private:
    int requests_ = 0;
    std::vector<AccessHandler> pending_;
};

}  // namespace pex
