#pragma once
// An exception the application describes itself, to be recorded as a custom or on-demand
// exception: a name, a reason and, optionally, its stack.
#include <string>
#include <utility>
#include <vector>

#include "crashreporter/BCNStackFrame.h"

namespace pex {

class BCNExceptionModel {
  public:
    BCNExceptionModel(std::string name, std::string reason)
        : name(std::move(name)), reason(std::move(reason)) {}
    static BCNExceptionModel exceptionModelWithName(std::string name, std::string reason) {
        return BCNExceptionModel(std::move(name), std::move(reason));
    }

    bool isFatal = false;
    bool onDemand = false;
    std::vector<BCNStackFrame> stackTrace;
    std::string name;
    std::string reason;
};

}  // namespace pex
