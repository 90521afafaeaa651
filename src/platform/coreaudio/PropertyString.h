#pragma once
// The text value of a property: an immutable, reference-counted string held through one
// pointer, so a string property reads and writes 8 bytes like every other reference. A read
// hands the caller its own reference; the buffer passed for a string must hold a constructed
// PropertyString (an empty one is fine), whose old value the read releases.
#include <string>
#include <string_view>

namespace pex::coreaudio {

class PropertyString {
  public:
    PropertyString() = default;  // the empty string, without allocating
    explicit PropertyString(std::string_view text);
    PropertyString(const PropertyString& other) noexcept;
    PropertyString(PropertyString&& other) noexcept;
    PropertyString& operator=(PropertyString other) noexcept;
    ~PropertyString();

    std::string str() const;
    bool empty() const;

    bool operator==(const PropertyString& other) const { return str() == other.str(); }

  private:
    struct Body;
    Body* body_ = nullptr;
};
static_assert(sizeof(PropertyString) == sizeof(void*));

}  // namespace pex::coreaudio
