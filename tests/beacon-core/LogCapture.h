#pragma once
// Captures the SDK's log lines for one test: installs a capturing system-log backend and
// puts the loggers back into a fresh process's state (level 5, no forced debug, set-up to
// run again). `entries()` waits for the logging queue first.
#include <memory>
#include <string>
#include <vector>

#include "beacon-core/BCNLogger.h"
#include "platform/oslog/CapturingLogBackend.h"

namespace pex::test {

class LogCapture {
  public:
    LogCapture() : backend_(std::make_shared<CapturingLogBackend>()) {
        UTLLogFlush();
        UTLLogResetForTesting();
        BCNLogResetForTesting();
        OSLogBackend::setCurrent(backend_);
    }
    ~LogCapture() {
        UTLLogFlush();
        OSLogBackend::setCurrent(nullptr);
        UTLLogResetForTesting();
        BCNLogResetForTesting();
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<CapturingLogBackend::Entry> entries() const {
        UTLLogFlush();
        return backend_->entries();
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> texts;
        for (const auto& entry : entries()) texts.push_back(entry.text);
        return texts;
    }
    CapturingLogBackend& backend() { return *backend_; }

  private:
    std::shared_ptr<CapturingLogBackend> backend_;
};

}  // namespace pex::test
