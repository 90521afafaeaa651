#include "platform/oslog/StandardErrorLogBackend.h"

#include <unistd.h>

namespace pex {

namespace {

class StandardErrorLog : public OSLog {
  public:
    bool isEnabled(OSLogType) const override { return true; }
    void write(OSLogType, const std::string& text) override {
        // One write per line, so lines of several processes sharing stderr never interleave.
        const std::string line = text + "\n";
        std::size_t written = 0;
        while (written < line.size()) {
            const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
            if (n <= 0) return;
            written += static_cast<std::size_t>(n);
        }
    }
};

}  // namespace

std::shared_ptr<OSLog> StandardErrorLogBackend::create(const std::string&, const std::string&) {
    return std::make_shared<StandardErrorLog>();
}

}  // namespace pex
