#include "crashreporter/network/CRSApplicationIdentifierModel.h"

#include <openssl/evp.h>

#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "crashreporter/runtime/CRSApplication.h"
#include "crashreporter/runtime/CRSPlatform.h"
#include "platform/foundation/Hex.h"
#include "platform/mach/HostInfo.h"
#include "platform/mach/LoadedImages.h"

namespace pex {

namespace {

std::string versionString(const CRSMachOVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.bugfix);
}

}  // namespace

std::optional<CRSApplicationIdentifierModel> CRSApplicationIdentifierModel::create(
    const Bundle& bundle) {
    for (const LoadedImage& image : LoadedImages::enumerate()) {
        if (!image.isMainProgram) continue;
        ArchitectureUUIDMap map;
        // A program linked without a build id has no identifier; its instance id is then the
        // digest of nothing.
        if (image.layout.buildIdSize > 0) {
            map[architectureName()] = lowercaseHex(image.layout.buildId, image.layout.buildIdSize);
        }
        // ELF files carry no minimum-system record: both versions stay 0.0.0.
        return CRSApplicationIdentifierModel(bundle, std::move(map));
    }
    return std::nullopt;
}

CRSApplicationIdentifierModel::CRSApplicationIdentifierModel(
    const Bundle& bundle, ArchitectureUUIDMap architectureUUIDMap, CRSMachOVersion builtSDK,
    CRSMachOVersion minimumSDK)
    : bundleID_(CRSApplicationGetBundleIdentifier(bundle)),
      displayName_(CRSApplicationGetName(bundle).value_or("")),
      buildVersion_(CRSApplicationGetBuildVersion(bundle)),
      displayVersion_(CRSApplicationGetDisplayVersion(bundle)),
      installSource_(UTLAppEnvironmentUtil::isFromAppStore() ? 4 : 1),
      architectureUUIDMap_(std::move(architectureUUIDMap)),
      buildInstanceID_(computeInstanceIdentifier(architectureUUIDMap_)),
      builtSDK_(builtSDK),
      minimumSDK_(minimumSDK) {}

std::string CRSApplicationIdentifierModel::platform() const {
    return kCRSPlatform;
}

std::string CRSApplicationIdentifierModel::synthesizedVersion() const {
    return displayVersion_.value_or("") + " (" + buildVersion_.value_or("") + ")";
}

std::string CRSApplicationIdentifierModel::builtSDKString() const {
    return versionString(builtSDK_);
}

std::string CRSApplicationIdentifierModel::minimumSDKString() const {
    return versionString(minimumSDK_);
}

CRSSettingsBuildIdentity CRSApplicationIdentifierModel::buildIdentity() const {
    return {buildInstanceID_, synthesizedVersion()};
}

std::string CRSApplicationIdentifierModel::computeInstanceIdentifier(
    const ArchitectureUUIDMap& map) {
    // std::map iterates its keys in byte order, the order the identifier is defined by.
    std::string joined;
    for (const auto& [architecture, uuid] : map) joined += uuid;
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    if (EVP_Digest(joined.data(), joined.size(), digest, &length, EVP_sha1(), nullptr) != 1) {
        return {};
    }
    return lowercaseHex(digest, length);
}

std::string CRSApplicationIdentifierModel::architectureName() {
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__aarch64__)
    return "arm64";
#elif defined(__i386__)
    return "i386";
#else
    return HostInfo::machine().value_or("unknown");
#endif
}

std::string CRSApplicationIdentifierModel::lowercaseHex(const std::uint8_t* bytes,
                                                        std::size_t size) {
    return hexString(std::span(bytes, size));
}

}  // namespace pex
