#include "beacon-core/BCNApp.h"

#include "beacon-core/BCNBeaconVersion.h"
#include "platform/foundation/Bundle.h"

namespace pex {

std::optional<std::filesystem::path> BCNApp::optionsFile() {
    return Bundle::main().pathForResource(kOptionsResource, "plist");
}

std::optional<nlohmann::json> BCNApp::readOptions(const std::filesystem::path& file) {
    const Bundle options = Bundle::fromFile(file);
    if (options.info().empty()) return std::nullopt;
    return options.info();
}

BCNBeaconUserAgent& BCNApp::userAgent() {
    static auto* agent = [] {
        auto* made = new BCNBeaconUserAgent;  // read by SDK work until the process ends
        made->setValue(BCNBeaconVersion(), "bcn-ios");
        return made;
    }();
    return *agent;
}

std::string BCNApp::beaconUserAgent() {
    return userAgent().beaconUserAgent();
}

void BCNApp::configure() {
    if (const auto file = optionsFile()) readOptions(*file);
}

}  // namespace pex
