#pragma once
// Collects the transport's printed lines while it lives.
#include <mutex>
#include <string>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPLog.h"

namespace pex::test {

class TXPLogCapture {
  public:
    TXPLogCapture() {
        TXPSetConsoleSink([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~TXPLogCapture() { TXPSetConsoleSink(nullptr); }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool contains(const std::string& text) const {
        for (const std::string& line : lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace pex::test
