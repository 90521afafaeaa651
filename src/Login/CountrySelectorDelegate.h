#pragma once
// Told which country the user picked in the country list.
#include "service/CountryListModel.h"

namespace pex {

class CountrySelectorDelegate {
  public:
    virtual ~CountrySelectorDelegate() = default;
    // Called on the main thread when a row is chosen.
    virtual void didSelectCountry(const CountryListModel& country) = 0;
};

}  // namespace pex
