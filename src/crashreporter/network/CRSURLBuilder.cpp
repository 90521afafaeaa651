#include "crashreporter/network/CRSURLBuilder.h"

#include "crashreporter/runtime/CRSLog.h"
#include "platform/foundation/URLComponents.h"

namespace pex {

CRSURLBuilder CRSURLBuilder::URLWithBase(const std::string& base) {
    CRSURLBuilder builder;
    builder.appendComponent(base);
    return builder;
}

void CRSURLBuilder::appendComponent(const std::string& component) {
    if (component.empty()) {
        CRSErrorLog("URLBuilder parameter component must not be empty");
        return;
    }
    URLString_ += component;
}

void CRSURLBuilder::escapeAndAppendComponent(const std::string& component) {
    appendComponent(escapeString(component));
}

std::string CRSURLBuilder::escapeString(const std::string& text) {
    // The characters a query may carry unescaped, beyond the unreserved ones, except those that
    // give a URL its structure ("/", "?", "&", "=", "+"): a value holding one of them stays one
    // value and cannot add a path step or a query item of its own.
    return percentEscape(text, "!$'()*,;:@");
}

void CRSURLBuilder::appendValue(const std::optional<std::string>& value,
                                const std::string& queryParam) {
    if (!value) return;
    URLString_ += queryParams_ == 0 ? "?" : "&";
    ++queryParams_;
    URLString_ += queryParam;
    URLString_ += "=";
    escapeAndAppendComponent(*value);
}

void CRSURLBuilder::appendValue(std::int64_t value, const std::string& queryParam) {
    appendValue(std::optional<std::string>(std::to_string(value)), queryParam);
}

std::optional<std::string> CRSURLBuilder::URL() const {
    if (!URLComponents::parse(URLString_)) return std::nullopt;
    return URLString_;
}

}  // namespace pex
