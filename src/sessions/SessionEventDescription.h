#pragma once
// The session event as text, for developers: the event type's name first, then one labelled
// line per field. Texts print as they are, "<NULL>" when absent and "<EMPTY>" when empty;
// enumerations by name.
#include <string>

#include "sessions/protos/sessions.pb.h"

namespace pex {

std::string describeSessionEvent(const beacon_appquality_sessions_SessionEvent& event);

std::string describeEventType(int value);
std::string describeDataCollectionState(int value);
std::string describeLogEnvironment(int value);
std::string describeOsName(int value);

}  // namespace pex
