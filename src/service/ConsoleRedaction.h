#pragma once
// Secrets never reach the console: the service client prints parameters and replies only
// after these have replaced the secret values with "***".
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

inline constexpr const char* kRedacted = "***";

// Passwords, SMS codes and tokens in any parameter object; the captcha token ("data") of the
// SMS request.
nlohmann::json redactedParameters(const nlohmann::json& parameters, const std::string& path);

// Tokens anywhere in a reply; the provider credential that "/ai/token" returns as "data".
nlohmann::json redactedReply(const nlohmann::json& reply, const std::string& path);

}  // namespace pex
