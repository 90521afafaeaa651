#pragma once
// The typed errors of the typed promises. `PromiseError` is the operators' own error: a
// time-out or a failed validation, the same errors as the core's domain
// "com.beacon.PRMPromises.Error" with codes 1 and 2, in both directions. `TypedError` is what
// typed handlers receive: a PromiseError where the core error is one, else the core error.
// `ThrownError` carries an error as a C++ exception: typed work may throw it to reject, and
// `Promises::awaitValue` throws it for a rejection.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <variant>

#include "beacon-core/PRMPromise.h"
#include "platform/foundation/Error.h"

namespace pex {

class PromiseError {
  public:
    enum Case { timedOut = 0, validationFailure = 1 };

    constexpr PromiseError(Case which) : case_(which) {}
    Case which() const { return case_; }
    bool operator==(const PromiseError&) const = default;

    // Domain "com.beacon.PRMPromises.Error", code = case index + 1, no user information.
    std::int64_t errorCode() const { return static_cast<std::int64_t>(case_) + 1; }
    ErrorRef platformError() const { return Error::make(PRMPromise::kErrorDomain, errorCode()); }
    // The case `error` stands for, if any.
    static std::optional<PromiseError> from(const ErrorRef& error) {
        if (!error || error->domain() != PRMPromise::kErrorDomain) return std::nullopt;
        if (error->code() == PRMPromise::kErrorCodeTimedOut) return PromiseError(timedOut);
        if (error->code() == PRMPromise::kErrorCodeValidationFailure)
            return PromiseError(validationFailure);
        return std::nullopt;
    }

  private:
    Case case_;
};

class TypedError {
  public:
    // Maps the core's own time-out and validation errors; keeps every other error as it is.
    explicit TypedError(ErrorRef error)
        : error_(std::move(error)), mapped_(PromiseError::from(error_)) {}
    TypedError(PromiseError error) : error_(error.platformError()), mapped_(error) {}

    const std::optional<PromiseError>& promiseError() const { return mapped_; }
    // The platform form: the core error, or the PromiseError's error value.
    const ErrorRef& error() const { return error_; }
    bool operator==(const PromiseError& other) const { return mapped_ == other; }
    std::string description() const {
        if (mapped_)
            return mapped_->which() == PromiseError::timedOut ? "PromiseError.timedOut"
                                                              : "PromiseError.validationFailure";
        return error_->description();
    }

  private:
    ErrorRef error_;
    std::optional<PromiseError> mapped_;
};

class ThrownError : public std::exception {
  public:
    explicit ThrownError(ErrorRef error)
        : error_(std::move(error)), text_(error_ ? error_->description() : "(null)") {}
    ThrownError(PromiseError error) : ThrownError(error.platformError()) {}
    const ErrorRef& error() const { return error_; }
    const char* what() const noexcept override { return text_.c_str(); }

  private:
    ErrorRef error_;
    std::string text_;
};

}  // namespace pex
