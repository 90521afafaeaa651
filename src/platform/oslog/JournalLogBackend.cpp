#include "platform/oslog/JournalLogBackend.h"

#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#ifdef PEXMORA_HAVE_JOURNAL
#include <systemd/sd-journal.h>
#endif

namespace pex {

namespace {

#ifdef PEXMORA_HAVE_JOURNAL
int priorityOf(OSLogType type) {
    switch (type) {
        case OSLogType::Fault:
            return LOG_CRIT;
        case OSLogType::Error:
            return LOG_ERR;
        case OSLogType::Default:
            return LOG_NOTICE;
        case OSLogType::Info:
            return LOG_INFO;
        case OSLogType::Debug:
            return LOG_DEBUG;
    }
    return LOG_NOTICE;
}

class JournalLog : public OSLog {
  public:
    JournalLog(std::string subsystem, std::string category)
        : subsystem_(std::move(subsystem)), category_(std::move(category)) {}
    bool isEnabled(OSLogType) const override { return true; }
    void write(OSLogType type, const std::string& text) override {
        sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priorityOf(type),
                        "BEACON_SUBSYSTEM=%s", subsystem_.c_str(), "BEACON_CATEGORY=%s",
                        category_.c_str(), nullptr);
    }

  private:
    std::string subsystem_;
    std::string category_;
};
#endif

}  // namespace

std::shared_ptr<JournalLogBackend> JournalLogBackend::make() {
#ifdef PEXMORA_HAVE_JOURNAL
    return std::shared_ptr<JournalLogBackend>(new JournalLogBackend);
#else
    return nullptr;
#endif
}

bool JournalLogBackend::standardErrorGoesToJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");  // "<device>:<inode>"
    if (!stream) return false;
    struct stat info {};
    if (::fstat(STDERR_FILENO, &info) != 0) return false;
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) == stream;
}

std::shared_ptr<OSLog> JournalLogBackend::create(const std::string& subsystem,
                                                 const std::string& category) {
#ifdef PEXMORA_HAVE_JOURNAL
    return std::make_shared<JournalLog>(subsystem, category);
#else
    (void)subsystem;
    (void)category;
    return nullptr;
#endif
}

}  // namespace pex
