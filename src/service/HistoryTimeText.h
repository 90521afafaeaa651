#pragma once
// The history records' default `time`: the current local date and time as
// "yyyy-MM-dd HH:mm:ss", in the user's time zone.
#include <string>

namespace pex {

std::string historyTimeTextNow();

}  // namespace pex
