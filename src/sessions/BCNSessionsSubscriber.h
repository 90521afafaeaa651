#pragma once
// What an SDK that follows the sessions implements: whether it collects data now, its name,
// and the call with each new session identifier.
#include <optional>
#include <string>

#include "sessions/SessionsSubscriberName.h"

namespace pex {

class BCNSessionDetails {
  public:
    explicit BCNSessionDetails(std::optional<std::string> sessionId)
        : sessionId_(std::move(sessionId)) {}
    const std::optional<std::string>& sessionId() const { return sessionId_; }

  private:
    const std::optional<std::string> sessionId_;
};

class BCNSessionsSubscriber {
  public:
    virtual ~BCNSessionsSubscriber() = default;
    virtual bool isDataCollectionEnabled() const = 0;
    virtual SessionsSubscriberName sessionsSubscriberName() const = 0;
    virtual void onSessionChanged(const BCNSessionDetails& session) = 0;
};

}  // namespace pex
