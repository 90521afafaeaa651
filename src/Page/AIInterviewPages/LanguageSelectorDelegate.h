#pragma once
// Told which language the user picked in the language list.
#include "service/LanguageListModel.h"

namespace pex {

class LanguageSelectorDelegate {
  public:
    virtual ~LanguageSelectorDelegate() = default;
    // Called on the main thread with the chosen row's record.
    virtual void languageSelected(const LanguageListModel& language) = 0;
};

}  // namespace pex
