#pragma once
// The identifier of this launch, which names its report directory: 32 lowercase hex digits,
// made once when the model is built.
#include <string>

namespace pex {

class CRSExecutionIdentifierModel {
  public:
    CRSExecutionIdentifierModel();
    const std::string& executionID() const { return executionID_; }

  private:
    const std::string executionID_;
};

}  // namespace pex
