#include "sessions/ApplicationInfo.h"

#include <algorithm>
#include <cctype>

#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/UTLAppEnvironmentUtil.h"

extern char** environ;

namespace pex {

int NetworkInfo::networkType() const {
    return UTLNetworkInfo::getNetworkType();
}

ApplicationInfo::ApplicationInfo(std::string appID,
                                 std::shared_ptr<const NetworkInfoProtocol> networkInfo,
                                 std::map<std::string, std::string> envParams,
                                 std::optional<nlohmann::json> infoDict)
    : appID_(std::move(appID)),
      networkInformation_(networkInfo ? std::move(networkInfo)
                                      : std::make_shared<const NetworkInfo>()),
      envParams_(std::move(envParams)),
      infoDict_(std::move(infoDict)) {}

std::map<std::string, std::string> ApplicationInfo::processEnvironment() {
    std::map<std::string, std::string> values;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (equals == std::string::npos) continue;
        values.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    return values;
}

RunEnvironment ApplicationInfo::runEnvironmentFrom(const std::optional<std::string>& value) {
    if (!value) return RunEnvironment::production;
    const auto isBlank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(value->begin(), value->end(), isBlank);
    auto last = std::find_if_not(value->rbegin(), value->rend(), isBlank).base();
    std::string word = first < last ? std::string(first, last) : std::string();
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (word == "staging") return RunEnvironment::staging;
    if (word == "autopush") return RunEnvironment::autopush;
    return RunEnvironment::production;
}

std::string ApplicationInfo::sdkVersion() const {
    return BCNBeaconVersion();
}

std::string ApplicationInfo::osName() const {
    return UTLAppEnvironmentUtil::appleDevicePlatform();
}

std::string ApplicationInfo::osDisplayVersion() const {
    return UTLAppEnvironmentUtil::systemVersion();
}

std::string ApplicationInfo::deviceModel() const {
    return UTLAppEnvironmentUtil::deviceSimulatorModel();
}

RunEnvironment ApplicationInfo::environment() const {
    const auto found = envParams_.find(kRunEnvironmentVariable);
    return runEnvironmentFrom(found == envParams_.end() ? std::nullopt
                                                        : std::optional(found->second));
}

std::string ApplicationInfo::infoString(const std::string& key) const {
    if (!infoDict_ || !infoDict_->is_object()) return {};
    const auto found = infoDict_->find(key);
    if (found == infoDict_->end() || !found->is_string()) return {};
    return found->get<std::string>();
}

std::string ApplicationInfo::appBuildVersion() const {
    return infoString("CFBundleVersion");
}

std::string ApplicationInfo::appDisplayVersion() const {
    return infoString("CFBundleShortVersionString");
}

}  // namespace pex
