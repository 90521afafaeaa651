#pragma once
// Writes every line to standard error, one whole line per write.
#include "platform/oslog/OSLog.h"

namespace pex {

class StandardErrorLogBackend : public OSLogBackend {
  public:
    std::shared_ptr<OSLog> create(const std::string& subsystem,
                                  const std::string& category) override;
};

}  // namespace pex
