#pragma once
// The SDK's global settings; today only the logger level.
#include <mutex>

#include "beacon-core/BCNLogger.h"

namespace pex {

class BCNConfiguration {
  public:
    static BCNConfiguration& shared();

    // A level outside 3 to 7 is a programming error and raises "Invalid logger level, <n>".
    void setLoggerLevel(BCNLoggerLevel level);
    BCNLoggerLevel loggerLevel();

  private:
    std::mutex mutex_;
};

}  // namespace pex
