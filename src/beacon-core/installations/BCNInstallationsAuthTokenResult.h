#pragma once
// An auth token as callers receive it: the token text and when it expires.
#include <string>

#include "beacon-core/installations/BCNInstallationsStoredAuthToken.h"

namespace pex {

struct BCNInstallationsAuthTokenResult {
    std::string authToken;
    BCNDate expirationDate;
};

}  // namespace pex
