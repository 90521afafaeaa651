#pragma once
// What a report says about the application, read from its bundle information.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// Activity options: keep the process from being ended suddenly (0x4000) or automatically
// (0x8000) while work runs.
inline constexpr std::uint64_t kCRSActivityOptionsNoTermination = 0xC000;
// Runs `work` inside an activity with `options` and `reason`. No system here ends a process
// that way, so the activity is only recorded for as long as the work runs.
void CRSApplicationActivity(std::uint64_t options, const std::string& reason,
                            const std::function<void()>& work);
// The reasons of the activities running now, oldest first.
std::vector<std::string> CRSApplicationCurrentActivities();

}  // namespace pex
