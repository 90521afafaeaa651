#pragma once
// "metadata.clsrecord": the report's identity, host, application and executable, written once
// at start-up.
#include "crashreporter/runtime/CRSContextInitData.h"
#include "platform/foundation/Bundle.h"

namespace pex {

inline constexpr char kCRSMetadataFileName[] = "metadata.clsrecord";

// Writes the metadata file in `rootPath`, replacing any earlier one; true when it was opened.
bool CRSContextRecordMetadata(const char* rootPath, const CRSContextInitData& initData,
                              const Bundle& bundle = Bundle::main());

}  // namespace pex
