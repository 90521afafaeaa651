#include "platform/oslog/OSLog.h"

#include <mutex>

#include "platform/oslog/JournalLogBackend.h"
#include "platform/oslog/StandardErrorLogBackend.h"

namespace pex {

namespace {

std::shared_ptr<OSLogBackend> systemBackend() {
    if (JournalLogBackend::standardErrorGoesToJournal()) {
        if (auto journal = JournalLogBackend::make()) return journal;
    }
    return std::make_shared<StandardErrorLogBackend>();
}

struct BackendSlot {
    std::mutex mutex;
    std::shared_ptr<OSLogBackend> backend;
};

BackendSlot& slot() {
    static auto* backendSlot = new BackendSlot;  // lines may be logged while the process exits
    return *backendSlot;
}

}  // namespace

std::shared_ptr<OSLogBackend> OSLogBackend::current() {
    BackendSlot& s = slot();
    std::lock_guard lock(s.mutex);
    if (!s.backend) s.backend = systemBackend();
    return s.backend;
}

void OSLogBackend::setCurrent(std::shared_ptr<OSLogBackend> backend) {
    BackendSlot& s = slot();
    std::lock_guard lock(s.mutex);
    s.backend = std::move(backend);
}

}  // namespace pex
