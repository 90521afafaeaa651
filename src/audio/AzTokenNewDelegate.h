#pragma once
// How the speech token manager reports to the session window's controller, on the main thread.
#include <any>

#include "audio/AzTokenModel.h"

namespace pex {

class AzTokenNewDelegate {
  public:
    virtual ~AzTokenNewDelegate() = default;
    // The first token of a session: recognition can start with it.
    virtual void tokenReceived(const AzTokenModel& model) = 0;
    // A later token: the running recogniser renews its token with it.
    virtual void tokenRefreshed(const AzTokenModel& model) = 0;
    // The retries are used up; the manager passes an empty text.
    virtual void tokenFailed(const std::any& error) = 0;
};

}  // namespace pex
