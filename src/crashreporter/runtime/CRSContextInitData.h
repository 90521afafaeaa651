#pragma once
// What the crash context is built from at start-up: the current report's folders and
// identifiers, and the limits from the crash settings.
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

struct CRSContextInitData {
    std::optional<std::string> customBundleId;
    std::optional<std::string> rootPath;
    std::optional<std::string> previouslyCrashedFileRootPath;
    std::optional<std::string> sessionId;
    std::optional<std::string> appQualitySessionId;
    std::optional<std::string> betaToken = std::string();
    // The installation's identifier when one is known at set-up; the record leaves it out
    // otherwise.
    std::optional<std::string> installId;
    bool errorsEnabled = true;
    bool customExceptionsEnabled = true;
    std::uint32_t maxCustomExceptions = 8;
    std::uint32_t maxErrorLogSize = 64000;
    std::uint32_t maxLogSize = 64000;
    std::uint32_t maxKeyValues = 64;
};

}  // namespace pex
