#include "beacon-core/BCNBundleUtil.h"

#include "beacon-core/UTLAppEnvironmentUtil.h"

namespace pex {

std::vector<Bundle> BCNBundleUtil::relevantBundles() {
    return {Bundle::main()};
}

std::optional<std::filesystem::path> BCNBundleUtil::optionsDictionaryPathWithResourceName(
    const std::string& name, const std::string& type, const std::vector<Bundle>& bundles) {
    for (const Bundle& bundle : bundles) {
        if (auto path = bundle.pathForResource(name, type)) return path;
    }
    return std::nullopt;
}

bool BCNBundleUtil::hasBundleIdentifierPrefix(const std::string& identifier,
                                              const std::vector<Bundle>& bundles) {
    for (const Bundle& bundle : bundles) {
        const std::string own = bundle.bundleIdentifier();
        if (own == identifier) return true;
        if (UTLAppEnvironmentUtil::isAppExtension() &&
            bundleIdentifierByRemovingLastPartFrom(own) == identifier)
            return true;
    }
    return false;
}

std::string BCNBundleUtil::bundleIdentifierByRemovingLastPartFrom(const std::string& identifier) {
    const auto lastDot = identifier.rfind('.');
    if (lastDot == std::string::npos) return "";
    return identifier.substr(0, lastDot);
}

std::vector<std::string> BCNBundleUtil::relevantURLSchemes() {
    std::vector<std::string> schemes;
    for (const Bundle& bundle : relevantBundles()) {
        const auto types = bundle.value("CFBundleURLTypes");
        if (!types || !types->is_array()) continue;
        for (const auto& type : *types) {
            if (!type.is_object() || !type.contains("CFBundleURLSchemes")) continue;
            const auto& entries = type["CFBundleURLSchemes"];
            if (!entries.is_array()) continue;
            for (const auto& scheme : entries)
                if (scheme.is_string()) schemes.push_back(scheme.get<std::string>());
        }
    }
    return schemes;
}

}  // namespace pex
