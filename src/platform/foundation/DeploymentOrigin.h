#pragma once
// An origin chosen at build time (a deployment setting) that tests may replace for the whole
// process, for instance with a stand-in server on 127.0.0.1. Safe from any thread.
#include <mutex>
#include <optional>
#include <string>

namespace pex {

class DeploymentOrigin {
  public:
    explicit DeploymentOrigin(const char* deployed) : deployed_(deployed) {}
    DeploymentOrigin(const DeploymentOrigin&) = delete;
    DeploymentOrigin& operator=(const DeploymentOrigin&) = delete;

    // The replacement when one is set, else the deployed origin.
    std::string value() const {
        std::lock_guard lock(mutex_);
        return replacement_.value_or(deployed_);
    }
    // None puts the deployed origin back.
    void setForTesting(std::optional<std::string> origin) {
        std::lock_guard lock(mutex_);
        replacement_ = std::move(origin);
    }

  private:
    const char* deployed_;
    mutable std::mutex mutex_;
    std::optional<std::string> replacement_;
};

}  // namespace pex
