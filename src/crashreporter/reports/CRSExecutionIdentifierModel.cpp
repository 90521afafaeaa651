#include "crashreporter/reports/CRSExecutionIdentifierModel.h"

#include "crashreporter/runtime/CRSUUID.h"

namespace pex {

CRSExecutionIdentifierModel::CRSExecutionIdentifierModel()
    : executionID_(CRSGenerateNormalizedUUID()) {}

}  // namespace pex
