#pragma once
// Keyed archives of our own: a binary property list holding the archived object's class name,
// the format version and the object's keyed values. Decoding checks the class name, so bytes
// written for one type never turn into another.
//
// An archivable type T provides:
//   static constexpr const char* kArchiveClassName;
//   PropertyList::Dictionary encodeWithCoder() const;
//   static std::optional<T> decodeWithCoder(const PropertyList::Dictionary& values);
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/PropertyList.h"

namespace pex {

class KeyedArchive {
  public:
    static constexpr std::int64_t kVersion = 1;

    static std::string archive(const std::string& className, PropertyList::Dictionary values);
    // The values, when `bytes` is an archive of `className` in a version we read; otherwise
    // none with `problem` set.
    static std::optional<PropertyList::Dictionary> unarchive(std::string_view bytes,
                                                             const std::string& className,
                                                             std::string* problem = nullptr);

    template <typename T>
    static std::string archive(const T& object) {
        return archive(T::kArchiveClassName, object.encodeWithCoder());
    }
    template <typename T>
    static std::optional<T> unarchive(std::string_view bytes, std::string* problem = nullptr) {
        auto values = unarchive(bytes, T::kArchiveClassName, problem);
        if (!values) return std::nullopt;
        auto object = T::decodeWithCoder(*values);
        if (!object && problem)
            *problem = "the values do not make a " + std::string(T::kArchiveClassName);
        return object;
    }
};

}  // namespace pex
