#pragma once
// One speech token as the service handed it out: the authorisation token and its region.
#include <string>

namespace pex {

struct AzTokenModel {
    std::string token;
    std::string area;
};

}  // namespace pex
