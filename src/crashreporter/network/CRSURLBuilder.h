#pragma once
// Builds a URL text piece by piece: components appended as they are or percent-escaped, then
// query items ("?" before the first, "&" before the others). An item without a value is left
// out whole.
//
//   CRSURLBuilder builder = CRSURLBuilder::URLWithBase("https://host");
//   builder.appendComponent("/apps/");
//   builder.escapeAndAppendComponent(appID);
//   builder.appendValue(buildVersion, "build_version");
//   std::optional<std::string> url = builder.URL();
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

class CRSURLBuilder {
  public:
    static CRSURLBuilder URLWithBase(const std::string& base);

    // An empty text is not appended; it is logged as an error.
    void appendComponent(const std::string& component);
    void escapeAndAppendComponent(const std::string& component);
    // Percent-encodes every byte but letters, digits and -._~!$'()*,;:@ (what a URL query may
    // hold as it is, less the characters that separate paths and query items).
    static std::string escapeString(const std::string& text);

    void appendValue(const std::optional<std::string>& value, const std::string& queryParam);
    void appendValue(std::int64_t value, const std::string& queryParam);

    const std::string& URLString() const { return URLString_; }
    std::uint64_t queryParams() const { return queryParams_; }
    // The URL text when it parses as an http or https URL with a host; none otherwise.
    std::optional<std::string> URL() const;

  private:
    std::string URLString_;
    std::uint64_t queryParams_ = 0;
};

}  // namespace pex
