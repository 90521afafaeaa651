#include "platform/coreaudio/PropertyReply.h"

#include <algorithm>
#include <cstring>

#include "platform/coreaudio/PropertyString.h"

namespace pex::coreaudio {

AudioStatus PropertyReply::text(const std::string& text, std::uint32_t size, void* data) {
    if (size != sizeof(PropertyString)) return status::badPropertySize;
    *static_cast<PropertyString*>(data) = PropertyString(text);
    return status::ok;
}

AudioStatus PropertyReply::deviceForUID(
    std::uint32_t size, void* data,
    const std::function<AudioObjectID(const std::string&)>& deviceWithUID) {
    if (size != sizeof(AudioValueTranslation)) return status::badPropertySize;
    auto& translation = *static_cast<AudioValueTranslation*>(data);
    if (translation.mInputDataSize != sizeof(PropertyString) ||
        translation.mOutputDataSize != sizeof(AudioObjectID)) {
        return status::badPropertySize;
    }
    const auto uid = static_cast<const PropertyString*>(translation.mInputData)->str();
    *static_cast<AudioObjectID*>(translation.mOutputData) = deviceWithUID(uid);
    return status::ok;
}

AudioStatus PropertyReply::name(const std::map<std::uint32_t, std::string>& names,
                                std::uint32_t size, void* data) {
    if (size != sizeof(AudioValueTranslation)) return status::badPropertySize;
    auto& translation = *static_cast<AudioValueTranslation*>(data);
    if (translation.mInputDataSize != sizeof(std::uint32_t) ||
        translation.mOutputDataSize != sizeof(PropertyString)) {
        return status::badPropertySize;
    }
    const auto id = *static_cast<const std::uint32_t*>(translation.mInputData);
    const auto name = names.find(id);
    if (name == names.end()) return status::illegalOperation;
    *static_cast<PropertyString*>(translation.mOutputData) = PropertyString(name->second);
    return status::ok;
}

AudioStatus PropertyReply::converted(float (*convert)(float), std::uint32_t size, void* data) {
    if (size != sizeof(float)) return status::badPropertySize;
    float& value = *static_cast<float*>(data);
    value = convert(value);
    return status::ok;
}

AudioStatus PropertyReply::bytes(const std::vector<std::byte>& value, bool idList,
                                 std::uint32_t& size, void* data) {
    std::size_t copied = std::min<std::size_t>(size, value.size());
    if (idList) copied -= copied % sizeof(AudioObjectID);
    if (copied) std::memcpy(data, value.data(), copied);
    size = static_cast<std::uint32_t>(copied);
    return status::ok;
}

}  // namespace pex::coreaudio
