#pragma once
// The default token left by the older instance-ID SDK, as its archive holds it (archived
// class name "BCNInstanceIDTokenInfo", key "token"). Only ever read: encoding writes nothing.
#include <optional>
#include <string>

#include "platform/foundation/PropertyList.h"

namespace pex {

struct BCNInstallationsIIDTokenInfo {
    static constexpr const char* kArchiveClassName = "BCNInstanceIDTokenInfo";

    std::optional<std::string> token;

    PropertyList::Dictionary encodeWithCoder() const { return {}; }
    static std::optional<BCNInstallationsIIDTokenInfo> decodeWithCoder(
        const PropertyList::Dictionary& values) {
        BCNInstallationsIIDTokenInfo info;
        auto found = values.find("token");
        if (found != values.end() && found->second.is<std::string>())
            info.token = *found->second.get<std::string>();
        return info;
    }
};

}  // namespace pex
