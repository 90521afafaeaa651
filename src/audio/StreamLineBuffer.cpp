#include "audio/StreamLineBuffer.h"

namespace pex {

void StreamLineBuffer::append(std::string_view chunk) {
    if (start_ > 0 && start_ * 2 >= bytes_.size()) {
        bytes_.erase(0, start_);
        scan_ -= start_;
        start_ = 0;
    }
    bytes_.append(chunk);
}

std::optional<std::string_view> StreamLineBuffer::nextLine() {
    while (true) {
        const std::size_t newline = bytes_.find('\n', scan_);
        if (newline == std::string::npos) {
            scan_ = bytes_.size();
            if (bytes_.size() - start_ > maximumLineLength_) {
                // Too long to be a line of this stream: forget it up to its LF.
                discarding_ = true;
                bytes_.clear();
                start_ = scan_ = 0;
            }
            return std::nullopt;
        }
        const std::string_view line(bytes_.data() + start_, newline - start_);
        start_ = scan_ = newline + 1;
        if (discarding_ || line.size() > maximumLineLength_) {
            discarding_ = false;
            continue;
        }
        return line;
    }
}

std::string StreamLineBuffer::takeRemainder() {
    std::string rest = discarding_ ? std::string() : bytes_.substr(start_);
    bytes_.clear();
    start_ = scan_ = 0;
    discarding_ = false;
    return rest;
}

}  // namespace pex
