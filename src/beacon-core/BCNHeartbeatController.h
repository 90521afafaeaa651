#pragma once
// The SDK's faces of the heartbeat controller and its payload.
#include <functional>
#include <memory>
#include <string>

#include "beacon-core/HeartbeatController.h"

namespace pex {

class BCNHeartbeatsPayload {
  public:
    explicit BCNHeartbeatsPayload(HeartbeatsPayload payload) : payload_(std::move(payload)) {}
    std::string headerValue() const { return payload_.headerValue(); }
    bool isEmpty() const { return payload_.isEmpty(); }
    const HeartbeatsPayload& heartbeatsPayload() const { return payload_; }

  private:
    HeartbeatsPayload payload_;
};

class BCNHeartbeatController {
  public:
    explicit BCNHeartbeatController(const std::string& id,
                                    HeartbeatController::WallClock clock = nullptr)
        : controller_(id, std::move(clock)) {}

    void log(const std::string& agent) { controller_.log(agent); }
    BCNHeartbeatsPayload flush() { return BCNHeartbeatsPayload(controller_.flush()); }
    // The completion runs once, on the heartbeat store's queue.
    void flushAsyncWithCompletionHandler(std::function<void(BCNHeartbeatsPayload)> completion) {
        controller_.flushAsync([completion = std::move(completion)](HeartbeatsPayload payload) {
            if (completion) completion(BCNHeartbeatsPayload(std::move(payload)));
        });
    }
    BCNHeartbeatsPayload flushHeartbeatFromToday() {
        return BCNHeartbeatsPayload(controller_.flushHeartbeatFromToday());
    }
    const HeartbeatController& heartbeatController() const { return controller_; }

  private:
    HeartbeatController controller_;
};

}  // namespace pex
