#include "service/HistoryTimeText.h"

#include <chrono>

#include "service/DateHelpers.h"

namespace pex {

std::string historyTimeTextNow() {
    const std::chrono::duration<double> sinceEpoch =
        std::chrono::system_clock::now().time_since_epoch();
    return formatLocalDate(sinceEpoch.count(), "yyyy-MM-dd HH:mm:ss");
}

}  // namespace pex
