#include "platform/foundation/Exception.h"

#include <cstdio>

namespace pex {

Exception::Exception(std::string name, std::string reason)
    : name_(std::move(name)), reason_(std::move(reason)), what_(name_ + ": " + reason_) {}

void raiseAssertionFailure(const std::string& reason, const char* function, const char* file,
                           int line) {
    std::fprintf(stderr, "*** Assertion failure in %s, %s:%d: %s\n", function, file, line,
                 reason.c_str());
    throw Exception(Exception::kInternalInconsistency, reason);
}

void raiseInvalidParameter(const char* parameter, const char* function, const char* file,
                           int line) {
    raiseAssertionFailure(std::string("Invalid parameter not satisfying: ") + parameter, function,
                          file, line);
}

}  // namespace pex
