#include "service/ConsoleLog.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace pex {

void consoleLog(std::string_view line) {
    static std::mutex mutex;
    std::string text(line);
    text += '\n';
    std::lock_guard lock(mutex);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace pex
