#include "crashreporter/runtime/CRSApplication.h"

#include <algorithm>
#include <mutex>

#include "crashreporter/runtime/CRSPlatform.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"

namespace pex {

namespace {

std::optional<std::string> nonEmpty(std::optional<std::string> text) {
    if (text && text->empty()) return std::nullopt;
    return text;
}

}  // namespace

std::string CRSApplicationGetBundleIdentifier(const Bundle& bundle) {
    std::string identifier = bundle.bundleIdentifier();
    std::replace(identifier.begin(), identifier.end(), '/', '_');
    return identifier;
}

std::string CRSApplicationGetSDKBundleID() {
    return kCRSSDKBundleIdentifier;
}
std::string CRSApplicationGetPlatform() {
    return kCRSPlatform;
}
std::string CRSApplicationGetBeaconPlatform() {
    return kCRSBeaconPlatform;
}

std::optional<std::string> CRSApplicationGetBuildVersion(const Bundle& bundle) {
    return nonEmpty(bundle.string("CFBundleVersion"));
}

std::optional<std::string> CRSApplicationGetDisplayVersion(const Bundle& bundle) {
    return nonEmpty(bundle.string("CFBundleShortVersionString"));
}

std::optional<std::string> CRSApplicationGetName(const Bundle& bundle) {
    if (auto name = nonEmpty(bundle.string("CFBundleDisplayName"))) return name;
    if (auto name = nonEmpty(bundle.string("CFBundleName"))) return name;
    return CRSApplicationGetBuildVersion(bundle);
}

std::optional<std::string> CRSApplicationExtensionPointID(const Bundle& bundle) {
    const std::optional<nlohmann::json> extension = bundle.value("NSExtension");
    if (!extension) return std::nullopt;
    if (!extension->is_object()) {
        CRSSDKLogWarn("Error: NSExtension Info.plist entry is mal-formed\n");
        return std::nullopt;
    }
    const auto point = extension->find("NSExtensionPointIdentifier");
    if (point == extension->end()) return std::nullopt;
    if (!point->is_string()) {
        CRSSDKLogWarn("Error: NSExtensionPointIdentifier Info.plist entry is mal-formed\n");
        return std::nullopt;
    }
    return point->get<std::string>();
}

bool CRSApplicationIsExtension(const Bundle& bundle) {
    return CRSApplicationExtensionPointID(bundle).has_value();
}

namespace {

std::mutex activitiesMutex;
std::vector<std::string> activities;  // guarded by activitiesMutex

}  // namespace

void CRSApplicationActivity(std::uint64_t options, const std::string& reason,
                            const std::function<void()>& work) {
    (void)options;
    {
        std::lock_guard lock(activitiesMutex);
        activities.push_back(reason);
    }
    struct End {
        ~End() {
            std::lock_guard lock(activitiesMutex);
            activities.erase(std::find(activities.begin(), activities.end(), reason));
        }
        const std::string& reason;
    } end{reason};
    work();
}

std::vector<std::string> CRSApplicationCurrentActivities() {
    std::lock_guard lock(activitiesMutex);
    return activities;
}

}  // namespace pex
