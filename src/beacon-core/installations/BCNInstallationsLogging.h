#pragma once
// The installations component's log service "[BeaconInstallations]" and its message codes,
// used with the SDK's logger (BCNLogger.h).
#include "beacon-core/BCNLogger.h"

namespace pex {

inline constexpr const char* kBCNInstallationsLogService = "[BeaconInstallations]";

namespace BCNInstallationsMessageCode {
inline constexpr const char* kRequestSending = "I-BIS001001";
inline constexpr const char* kRequestFailed = "I-BIS001002";
inline constexpr const char* kRequestResponse = "I-BIS001003";
inline constexpr const char* kUnexpectedResponse = "I-BIS001004";
inline constexpr const char* kParsingResponse = "I-BIS001005";
inline constexpr const char* kItemParseFailed = "I-BIS001006";
inline constexpr const char* kItemParsed = "I-BIS001007";
inline constexpr const char* kAuthTokenParseFailed = "I-BIS001008";
inline constexpr const char* kAuthTokenParsed = "I-BIS001009";
inline constexpr const char* kGetInstallation = "I-BIS002000";
inline constexpr const char* kInstallationWithValidAuthToken = "I-BIS002001";
inline constexpr const char* kDeleteInstallation = "I-BIS002002";
inline constexpr const char* kRegistrationFailed = "I-BIS002003";
inline constexpr const char* kStoredInstallationInvalid = "I-BIS002004";
inline constexpr const char* kStoredItemNewerVersion = "I-BIS003000";
inline constexpr const char* kStoredAuthTokenNewerVersion = "I-BIS004000";
inline constexpr const char* kConfigurationInvalid = "I-BIS008000";
}  // namespace BCNInstallationsMessageCode

}  // namespace pex
