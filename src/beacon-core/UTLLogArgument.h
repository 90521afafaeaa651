#pragma once
// Type-safe stand-in for a printf-style argument list. Log formats keep their "%@", "%ld",
// "%d", "%06ld" ... directives; each argument is converted to text or a number only once a
// message has passed the level filter, so a dropped message formats nothing.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace pex {

class UTLLogArgument {
  public:
    using Value = std::variant<std::string, long long, unsigned long long, double, const void*>;

    UTLLogArgument(const std::string& text) : value_(text) {}
    UTLLogArgument(std::string_view text) : value_(std::string(text)) {}
    UTLLogArgument(const char* text) : value_(std::string(text ? text : "(null)")) {}
    UTLLogArgument(bool flag) : value_(static_cast<long long>(flag)) {}
    UTLLogArgument(const void* pointer) : value_(pointer) {}
    template <typename T>
    requires std::is_integral_v<T> && std::is_signed_v<T> &&
        (!std::is_same_v<T, bool>)UTLLogArgument(T number)
        : value_(static_cast<long long>(number)) {}
    template <typename T>
    requires std::is_integral_v<T> && std::is_unsigned_v<T> &&
        (!std::is_same_v<T, bool>)UTLLogArgument(T number)
        : value_(static_cast<unsigned long long>(number)) {}
    template <typename T>
    requires std::is_floating_point_v<T> UTLLogArgument(T number)
        : value_(static_cast<double>(number)) {}
    // Objects print their description, as "%@" does.
    template <typename T>
    requires requires(const T& object) {
        { object.description() } -> std::convertible_to<std::string>;
    }
    UTLLogArgument(const T& object) : value_(std::string(object.description())) {}
    template <typename T>
    UTLLogArgument(const std::shared_ptr<T>& object)
        : UTLLogArgument(object ? UTLLogArgument(*object) : UTLLogArgument("(null)")) {}

    const Value& value() const { return value_; }

  private:
    Value value_;
};

// `format` with each directive replaced by the next argument. "%%" gives "%"; a directive
// with no argument left is kept as written; an argument of another kind than the directive
// asks for prints in its natural form.
std::string UTLFormatLogText(std::string_view format, std::span<const UTLLogArgument> arguments);

}  // namespace pex
