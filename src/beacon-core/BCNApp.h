#pragma once
// The telemetry client's application object. For now `configure` only reads the client's
// options, the property list "BeaconService-Info.plist" among the application's resources
// (beside the executable), when it is there; the client itself is not built yet.
#include <filesystem>
#include <optional>

#include <nlohmann/json.hpp>

#include "beacon-core/BCNBeaconUserAgent.h"

namespace pex {

class BCNApp {
  public:
    static constexpr const char* kOptionsResource = "BeaconService-Info";

    // Called once, first thing at start-up.
    static void configure();

    // The options file; none when the application has none.
    static std::optional<std::filesystem::path> optionsFile();
    // The options read from `file`; none when it is missing or not a dictionary.
    static std::optional<nlohmann::json> readOptions(const std::filesystem::path& file);

    // The SDK's one user agent, made with the core library's entry "bcn-ios", and its text.
    static BCNBeaconUserAgent& userAgent();
    static std::string beaconUserAgent();
};

}  // namespace pex
