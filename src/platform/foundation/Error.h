#pragma once
// The error value that SDK code hands around: a domain, a code and user information (a
// description, a failure reason, other plain values and an underlying error). Errors are
// immutable once made and shared by pointer (`ErrorRef`); a module may derive its own kind.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

class Error;
using ErrorRef = std::shared_ptr<const Error>;

class Error {
  public:
    // Keys of the plain values in `userInfo`.
    static constexpr const char* kDescriptionKey = "localizedDescription";
    static constexpr const char* kFailureReasonKey = "localizedFailureReason";

    // `userInfo` must be a JSON object or null (no user information).
    Error(std::string domain, std::int64_t code, nlohmann::json userInfo = nullptr,
          ErrorRef underlying = nullptr);
    virtual ~Error() = default;

    static ErrorRef make(std::string domain, std::int64_t code, nlohmann::json userInfo = nullptr,
                         ErrorRef underlying = nullptr) {
        return std::make_shared<const Error>(std::move(domain), code, std::move(userInfo),
                                             std::move(underlying));
    }

    const std::string& domain() const { return domain_; }
    std::int64_t code() const { return code_; }
    // Null when the error was made without user information.
    const nlohmann::json& userInfo() const { return userInfo_; }
    const ErrorRef& underlyingError() const { return underlying_; }
    std::optional<std::string> failureReason() const;
    // The description under kDescriptionKey, else "The operation couldn’t be completed.
    // (<domain> error <code>.)".
    std::string localizedDescription() const;
    // "Error Domain=<domain> Code=<code> \"<localized description>\"", followed by
    // " UserInfo={...}" when there is user information or an underlying error.
    virtual std::string description() const;

  private:
    const std::string domain_;
    const std::int64_t code_;
    const nlohmann::json userInfo_;
    const ErrorRef underlying_;
};

}  // namespace pex
