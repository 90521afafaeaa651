#pragma once
// `apiBaseURL`: the process-wide base address of the service API. It starts as the mainland
// line's address followed by "/api/v1" and is rewritten by the service-line picker; every
// request reads it afresh when it is built. Safe to read and write from any thread.
#include <string>

namespace pex {

std::string apiBaseURL();
void setApiBaseURL(std::string base);
// Back to the initial value (the chosen line does not exist).
void resetApiBaseURL();
// The mainland line's origin (a deployment setting) followed by "/api/v1".
std::string initialApiBaseURL();

}  // namespace pex
