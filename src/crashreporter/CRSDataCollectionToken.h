#pragma once
// Proof that the data-collection check passed. Code that sends data takes one and refuses work
// whose token is missing (null) or not valid.
#include <memory>

namespace pex {

class CRSDataCollectionToken {
  public:
    static std::shared_ptr<const CRSDataCollectionToken> validToken() {
        return std::make_shared<const CRSDataCollectionToken>();
    }
    bool isValid() const { return true; }
};

using CRSDataCollectionTokenRef = std::shared_ptr<const CRSDataCollectionToken>;

}  // namespace pex
