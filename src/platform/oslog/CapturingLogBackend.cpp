#include "platform/oslog/CapturingLogBackend.h"

namespace pex {

class CapturingLog : public OSLog {
  public:
    CapturingLog(std::shared_ptr<CapturingLogBackend> backend, std::string subsystem,
                 std::string category)
        : backend_(std::move(backend)),
          subsystem_(std::move(subsystem)),
          category_(std::move(category)) {}
    bool isEnabled(OSLogType type) const override { return backend_->isEnabled(type); }
    void write(OSLogType type, const std::string& text) override {
        backend_->add({subsystem_, category_, type, text});
    }

  private:
    std::shared_ptr<CapturingLogBackend> backend_;
    std::string subsystem_;
    std::string category_;
};

std::shared_ptr<OSLog> CapturingLogBackend::create(const std::string& subsystem,
                                                   const std::string& category) {
    {
        std::lock_guard lock(mutex_);
        ++handlesCreated_;
    }
    return std::make_shared<CapturingLog>(shared_from_this(), subsystem, category);
}

std::vector<CapturingLogBackend::Entry> CapturingLogBackend::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

int CapturingLogBackend::handlesCreated() const {
    std::lock_guard lock(mutex_);
    return handlesCreated_;
}

void CapturingLogBackend::disable(OSLogType type) {
    std::lock_guard lock(mutex_);
    disabled_.insert(type);
}

void CapturingLogBackend::add(Entry entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
}

bool CapturingLogBackend::isEnabled(OSLogType type) const {
    std::lock_guard lock(mutex_);
    return !disabled_.contains(type);
}

}  // namespace pex
