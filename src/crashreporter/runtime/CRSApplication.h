#pragma once
// What a report says about the application, read from its bundle information.
#include <optional>
#include <string>

#include "platform/foundation/Bundle.h"

namespace pex {

// The bundle identifier with every "/" replaced by "_".
std::string CRSApplicationGetBundleIdentifier(const Bundle& bundle = Bundle::main());
// The crash reporter's own identifier, the prefix of its queue labels.
std::string CRSApplicationGetSDKBundleID();
std::string CRSApplicationGetPlatform();
std::string CRSApplicationGetBeaconPlatform();
// "CFBundleVersion" and "CFBundleShortVersionString"; nothing when absent or empty.
std::optional<std::string> CRSApplicationGetBuildVersion(const Bundle& bundle = Bundle::main());
std::optional<std::string> CRSApplicationGetDisplayVersion(const Bundle& bundle = Bundle::main());
// "CFBundleDisplayName", else "CFBundleName", else the build version.
std::optional<std::string> CRSApplicationGetName(const Bundle& bundle = Bundle::main());
// The extension point of an application extension ("NSExtension" → "NSExtensionPointIdentifier");
// nothing for an ordinary application or a mal-formed entry (logged).
std::optional<std::string> CRSApplicationExtensionPointID(const Bundle& bundle = Bundle::main());
bool CRSApplicationIsExtension(const Bundle& bundle = Bundle::main());

}  // namespace pex
