#include "platform/coreaudio/PropertyString.h"

#include <atomic>
#include <utility>

namespace pex::coreaudio {

struct PropertyString::Body {
    explicit Body(std::string_view text) : text(text) {}
    std::atomic<int> references{1};
    const std::string text;
};

PropertyString::PropertyString(std::string_view text) : body_(new Body(text)) {}

PropertyString::PropertyString(const PropertyString& other) noexcept : body_(other.body_) {
    if (body_) body_->references.fetch_add(1, std::memory_order_relaxed);
}

PropertyString::PropertyString(PropertyString&& other) noexcept
    : body_(std::exchange(other.body_, nullptr)) {}

PropertyString& PropertyString::operator=(PropertyString other) noexcept {
    std::swap(body_, other.body_);
    return *this;
}

PropertyString::~PropertyString() {
    if (body_ && body_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete body_;
}

std::string PropertyString::str() const {
    return body_ ? body_->text : std::string();
}

bool PropertyString::empty() const {
    return !body_ || body_->text.empty();
}

}  // namespace pex::coreaudio
