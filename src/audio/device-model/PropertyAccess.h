#pragma once
// The ways the device model reads and writes hardware properties. Every call asks first
// whether the object has the property, and ends in an absent value (or false) when it lacks it
// or the hardware answers with a non-zero status.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/coreaudio/AudioTypes.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/coreaudio/PropertyString.h"

namespace pex::property {

using coreaudio::AudioObjectID;
using coreaudio::AudioObjectPropertyAddress;

inline AudioObjectPropertyAddress address(std::uint32_t selector,
                                          std::uint32_t scope = coreaudio::scope::global,
                                          std::uint32_t element = coreaudio::kElementMain) {
    return {selector, scope, element};
}
inline AudioObjectPropertyAddress address(const char* selector,
                                          std::uint32_t scope = coreaudio::scope::global,
                                          std::uint32_t element = coreaudio::kElementMain) {
    return {coreaudio::fourCC(selector), scope, element};
}

// Writes "Unable to get property with address (%@). Status: %@" to the model's log.
void logReadFailure(const AudioObjectPropertyAddress& address, coreaudio::AudioStatus status);

// A fixed-size value read into a buffer of its own size; silent on failure.
template <typename T>
std::optional<T> readValue(AudioObjectID object, const AudioObjectPropertyAddress& at) {
    if (!coreaudio::hasProperty(object, at)) return std::nullopt;
    T value{};
    std::uint32_t size = sizeof(T);
    if (coreaudio::getPropertyData(object, at, 0, nullptr, size, &value) != coreaudio::status::ok) {
        return std::nullopt;
    }
    return value;
}

// As readValue, but a failed read is logged at debug level on the model's log.
template <typename T>
std::optional<T> readScalar(AudioObjectID object, const AudioObjectPropertyAddress& at) {
    if (!coreaudio::hasProperty(object, at)) return std::nullopt;
    T value{};
    std::uint32_t size = sizeof(T);
    const auto status = coreaudio::getPropertyData(object, at, 0, nullptr, size, &value);
    if (status != coreaudio::status::ok) {
        logReadFailure(at, status);
        return std::nullopt;
    }
    return value;
}

// A string property (one 8-byte reference). `logFailure` chooses readScalar's logging.
std::optional<std::string> readString(AudioObjectID object, const AudioObjectPropertyAddress& at,
                                      bool logFailure);

// A list: the size is asked (with the qualifier), then the list is read and cut to the size
// the read returned, so entries that went away in between never show up as zeros.
template <typename T>
std::optional<std::vector<T>> readList(AudioObjectID object, const AudioObjectPropertyAddress& at,
                                       std::uint32_t qualifierSize = 0,
                                       const void* qualifier = nullptr) {
    if (!coreaudio::hasProperty(object, at)) return std::nullopt;
    std::uint32_t size = 0;
    if (coreaudio::getPropertyDataSize(object, at, qualifierSize, qualifier, size) !=
        coreaudio::status::ok) {
        return std::nullopt;
    }
    std::vector<T> list(size / sizeof(T));
    size = static_cast<std::uint32_t>(list.size() * sizeof(T));
    if (coreaudio::getPropertyData(object, at, qualifierSize, qualifier, size, list.data()) !=
        coreaudio::status::ok) {
        return std::nullopt;
    }
    list.resize(std::min<std::size_t>(list.size(), size / sizeof(T)));
    return list;
}

// Writes a value of its own size; true only on status 0, false without the property.
template <typename T>
bool write(AudioObjectID object, const AudioObjectPropertyAddress& at, const T& value) {
    if (!coreaudio::hasProperty(object, at)) return false;
    return coreaudio::setPropertyData(object, at, 0, nullptr, sizeof(T), &value) ==
           coreaudio::status::ok;
}

// Translates an input value into an output value through an 8-byte translation property.
template <typename In, typename Out>
std::optional<Out> translate(AudioObjectID object, const AudioObjectPropertyAddress& at, In input,
                             Out output) {
    coreaudio::AudioValueTranslation translation{&input, sizeof(In), &output, sizeof(Out)};
    std::uint32_t size = sizeof(translation);
    if (coreaudio::getPropertyData(object, at, 0, nullptr, size, &translation) !=
        coreaudio::status::ok) {
        return std::nullopt;
    }
    return output;
}

}  // namespace pex::property
