#pragma once
// Property values as the hardware layer stores them: the plain bytes of one value or of a
// list of values, and a value read back from such bytes.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace pex::coreaudio {

template <typename T>
std::vector<std::byte> bytesOf(const T& value) {
    std::vector<std::byte> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

template <typename T>
std::vector<std::byte> listOf(const std::vector<T>& values) {
    std::vector<std::byte> bytes(values.size() * sizeof(T));
    if (!bytes.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

// Bytes shorter than a value fill only its first bytes; the rest stays zero.
template <typename T>
T valueOf(const std::vector<std::byte>& bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof(T)));
    return value;
}

}  // namespace pex::coreaudio
