#pragma once
// Keeps every emitted line in memory, for tests. Types can be switched off to see that
// callers respect a handle's enabled types.
#include <mutex>
#include <set>
#include <vector>

#include "platform/oslog/OSLog.h"

namespace pex {

class CapturingLogBackend : public OSLogBackend,
                            public std::enable_shared_from_this<CapturingLogBackend> {
  public:
    struct Entry {
        std::string subsystem;
        std::string category;
        OSLogType type = OSLogType::Default;
        std::string text;
    };

    std::shared_ptr<OSLog> create(const std::string& subsystem,
                                  const std::string& category) override;

    std::vector<Entry> entries() const;
    // How many handles were made (one per subsystem and category when callers cache them).
    int handlesCreated() const;
    void disable(OSLogType type);

  private:
    friend class CapturingLog;
    void add(Entry entry);
    bool isEnabled(OSLogType type) const;

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::set<OSLogType> disabled_;
    int handlesCreated_ = 0;
};

}  // namespace pex
