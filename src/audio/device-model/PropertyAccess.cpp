#include "audio/device-model/PropertyAccess.h"

#include "audio/device-model/AudioLog.h"

namespace pex::property {

void logReadFailure(const AudioObjectPropertyAddress& at, coreaudio::AudioStatus status) {
    AudioLog::model().debug("Unable to get property with address (" + coreaudio::describe(at) +
                            "). Status: " + std::to_string(status));
}

std::optional<std::string> readString(AudioObjectID object, const AudioObjectPropertyAddress& at,
                                      bool logFailure) {
    if (!coreaudio::hasProperty(object, at)) return std::nullopt;
    coreaudio::PropertyString value;
    std::uint32_t size = sizeof(value);
    const auto status = coreaudio::getPropertyData(object, at, 0, nullptr, size, &value);
    if (status != coreaudio::status::ok) {
        if (logFailure) logReadFailure(at, status);
        return std::nullopt;
    }
    return value.str();
}

}  // namespace pex::property
