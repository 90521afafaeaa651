#pragma once
// The SDK's version, which every core library registers with and log lines start with.
#include <string>

namespace pex {

inline std::string BCNBeaconVersion() {
    return "12.7.0";
}

}  // namespace pex
