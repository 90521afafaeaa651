#include "beacon-core/BCNApp.h"

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

void BCNApp::configure() {
    if (const auto file = optionsFile()) readOptions(*file);
}

}  // namespace pex
