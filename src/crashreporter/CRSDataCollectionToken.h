#pragma once
// Proof that the data-collection switch was checked: the flow that checked it makes a token
// and hands it down to every operation that sends data, and those refuse work without one.
#include <memory>

namespace pex {

class CRSDataCollectionToken {
  public:
    static std::shared_ptr<const CRSDataCollectionToken> validToken() {
        return std::shared_ptr<const CRSDataCollectionToken>(new CRSDataCollectionToken);
    }
    bool isValid() const { return true; }

    // Whether `token` is present and valid.
    static bool isValid(const std::shared_ptr<const CRSDataCollectionToken>& token) {
        return token && token->isValid();
    }

  private:
    CRSDataCollectionToken() = default;
};

using CRSDataCollectionTokenRef = std::shared_ptr<const CRSDataCollectionToken>;

}  // namespace pex
