#include "beacon-core/BCNApp.h"

#include <system_error>

#include "platform/foundation/Bundle.h"

namespace pex {

std::optional<std::filesystem::path> BCNApp::optionsFile() {
    const auto file = Bundle::executableDirectory() / (std::string(kOptionsResource) + ".plist");
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
    return file;
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
