#pragma once
// Sends lines to the systemd journal with their priority, subsystem and category as fields.
#include "platform/oslog/OSLog.h"

namespace pex {

class JournalLogBackend : public OSLogBackend {
  public:
    // None when this build has no journal support.
    static std::shared_ptr<JournalLogBackend> make();
    // True when the process's standard error is the journal's stream (systemd says so in
    // JOURNAL_STREAM), so writing natively loses nothing a terminal user would see.
    static bool standardErrorGoesToJournal();

    std::shared_ptr<OSLog> create(const std::string& subsystem,
                                  const std::string& category) override;

  private:
    JournalLogBackend() = default;
};

}  // namespace pex
