#pragma once
// Where the SDK looks for its resources and how it compares bundle identifiers. The SDK is
// linked into the application, so the only relevant bundle is the application's own.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Bundle.h"

namespace pex {

class BCNBundleUtil {
  public:
    static std::vector<Bundle> relevantBundles();
    // The first bundle's resource `name`.`type`, if it has one.
    static std::optional<std::filesystem::path> optionsDictionaryPathWithResourceName(
        const std::string& name, const std::string& type, const std::vector<Bundle>& bundles);
    // True when a bundle's identifier is `identifier` (no application extensions here).
    static bool hasBundleIdentifierPrefix(const std::string& identifier,
                                          const std::vector<Bundle>& bundles);
    // "com.example.app.widget" → "com.example.app".
    static std::string bundleIdentifierByRemovingLastPartFrom(const std::string& identifier);
    // Every "CFBundleURLSchemes" entry of every "CFBundleURLTypes" item of the bundles.
    static std::vector<std::string> relevantURLSchemes();
};

}  // namespace pex
