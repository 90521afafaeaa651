#pragma once
// The URL-loading error for a failed curl transfer: its curl result code, the system's errno of
// the failed call (CURLINFO_OS_ERRNO, 0 when none) and curl's own message (empty: curl's text
// for the code). Codes without a closer match read as Other, with curl's text in the
// description.
#include <string>

#include "platform/foundation/URLError.h"

namespace pex {

URLError urlErrorForCurlCode(int curlCode, long osErrno, const std::string& url,
                             const std::string& detail);

}  // namespace pex
