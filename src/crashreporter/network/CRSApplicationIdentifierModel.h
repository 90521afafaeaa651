#pragma once
// Who the application is, as the settings host and the settings cache see it: bundle facts
// from the Info.plist, and the build's identity from the running executable.
//
// The executable's identity is a map from architecture name to the build's identifier as
// lowercase hex: on this platform the program's ELF build id (NT_GNU_BUILD_ID) under the
// architecture it was built for ("x86_64"). The build instance id is the SHA-1 of the map's
// values, concatenated in the order of their sorted keys, as 40 lowercase hex digits.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "crashreporter/macho/CRSMachO.h"
#include "crashreporter/reports/CRSSettings.h"
#include "platform/foundation/Bundle.h"

namespace pex {

class CRSApplicationIdentifierModel {
  public:
    using ArchitectureUUIDMap = std::map<std::string, std::string>;

    // From the running program and the main bundle; none when the program's image cannot be
    // found.
    static std::optional<CRSApplicationIdentifierModel> create(
        const Bundle& bundle = Bundle::main());

    // From facts read elsewhere (another executable, a test).
    CRSApplicationIdentifierModel(const Bundle& bundle, ArchitectureUUIDMap architectureUUIDMap,
                                  CRSMachOVersion builtSDK = {}, CRSMachOVersion minimumSDK = {});

    const std::string& bundleID() const { return bundleID_; }
    const std::string& displayName() const { return displayName_; }
    std::string platform() const;
    const std::optional<std::string>& buildVersion() const { return buildVersion_; }
    const std::optional<std::string>& displayVersion() const { return displayVersion_; }
    // "<display version> (<build version>)"
    std::string synthesizedVersion() const;
    // 4 for a store install, else 1.
    std::int64_t installSource() const { return installSource_; }
    const ArchitectureUUIDMap& architectureUUIDMap() const { return architectureUUIDMap_; }
    const std::string& buildInstanceID() const { return buildInstanceID_; }
    const CRSMachOVersion& builtSDK() const { return builtSDK_; }
    const CRSMachOVersion& minimumSDK() const { return minimumSDK_; }
    std::string builtSDKString() const;
    std::string minimumSDKString() const;

    // What the settings cache is keyed on.
    CRSSettingsBuildIdentity buildIdentity() const;

    static std::string computeInstanceIdentifier(const ArchitectureUUIDMap& map);
    // The architecture this program was built for, in the settings host's naming.
    static std::string architectureName();
    static std::string lowercaseHex(const std::uint8_t* bytes, std::size_t size);

  private:
    std::string bundleID_;
    std::string displayName_;
    std::optional<std::string> buildVersion_;
    std::optional<std::string> displayVersion_;
    std::int64_t installSource_ = 1;
    ArchitectureUUIDMap architectureUUIDMap_;
    std::string buildInstanceID_;
    CRSMachOVersion builtSDK_;
    CRSMachOVersion minimumSDK_;
};

}  // namespace pex
