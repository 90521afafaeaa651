#include "beacon-core/BCNBeaconUserAgent.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "platform/foundation/Bundle.h"

namespace pex {

namespace {

std::string folded(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

}  // namespace

BCNBeaconUserAgent::Components BCNBeaconUserAgent::currentEnvironmentComponents() {
    Components components;
    const Bundle bundle = Bundle::main();
    components["apple-platform"] = UTLAppEnvironmentUtil::applePlatform();
    if (auto sdk = bundle.string("DTSDKBuild")) components["apple-sdk"] = *sdk;
    components["appstore"] = UTLAppEnvironmentUtil::isFromAppStore() ? "true" : "false";
    components["deploy"] = UTLAppEnvironmentUtil::deploymentType();
    if (auto model = UTLAppEnvironmentUtil::deviceModel(); !model.empty())
        components["device"] = model;
    components["os-version"] = UTLAppEnvironmentUtil::systemVersion();
    if (auto xcode = bundle.string("DTXcodeBuild")) components["xcode"] = *xcode;
    return components;
}

BCNBeaconUserAgent::Components BCNBeaconUserAgent::environmentComponentsLocked() {
    if (!environmentComponents_) environmentComponents_ = currentEnvironmentComponents();
    return *environmentComponents_;
}

BCNBeaconUserAgent::Components BCNBeaconUserAgent::environmentComponents() {
    std::lock_guard lock(mutex_);
    return environmentComponentsLocked();
}

std::string BCNBeaconUserAgent::beaconUserAgent() {
    std::lock_guard lock(mutex_);
    if (beaconUserAgent_) return *beaconUserAgent_;
    Components all = valuesByComponent_;
    for (const auto& [component, value] : environmentComponentsLocked()) all[component] = value;
    std::vector<std::string> items;
    items.reserve(all.size());
    for (const auto& [component, value] : all) items.push_back(component + "/" + value);
    std::sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
        const std::string fa = folded(a), fb = folded(b);
        return fa != fb ? fa < fb : a < b;
    });
    std::string text;
    for (const auto& item : items) {
        if (!text.empty()) text += ' ';
        text += item;
    }
    beaconUserAgent_ = text;
    return text;
}

void BCNBeaconUserAgent::setValue(const std::optional<std::string>& value,
                                  const std::string& component) {
    std::lock_guard lock(mutex_);
    if (value)
        valuesByComponent_[component] = *value;
    else
        valuesByComponent_.erase(component);
    beaconUserAgent_.reset();
}

void BCNBeaconUserAgent::reset() {
    std::lock_guard lock(mutex_);
    valuesByComponent_ = environmentComponentsLocked();
    beaconUserAgent_.reset();
}

}  // namespace pex
