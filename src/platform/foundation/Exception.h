#pragma once
// The one exception type of the SDK parts, raised only for programming errors: a broken
// precondition or a configuration that cannot work. It carries a name (such as
// "com.beacon.core") and a reason.
#include <exception>
#include <string>

namespace pex {

class Exception : public std::exception {
  public:
    // The name of a broken internal precondition.
    static constexpr const char* kInternalInconsistency = "InternalInconsistencyException";
    static constexpr const char* kInvalidArgument = "InvalidArgumentException";

    Exception(std::string name, std::string reason);
    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const char* what() const noexcept override { return what_.c_str(); }

  private:
    std::string name_;
    std::string reason_;
    std::string what_;  // "<name>: <reason>"
};

// Raises the internal-inconsistency failure "Invalid parameter not satisfying: <parameter>",
// after one line on stderr naming the function, file and line.
[[noreturn]] void raiseInvalidParameter(const char* parameter, const char* function,
                                        const char* file, int line);
// Raises the internal-inconsistency failure with `reason`, after the same line on stderr.
[[noreturn]] void raiseAssertionFailure(const std::string& reason, const char* function,
                                        const char* file, int line);

}  // namespace pex

// Checks a required parameter; the message names the parameter as written.
#define PEX_PARAMETER_ASSERT(condition, parameter)                                               \
    do {                                                                                         \
        if (!(condition)) ::pex::raiseInvalidParameter(parameter, __func__, __FILE__, __LINE__); \
    } while (false)
