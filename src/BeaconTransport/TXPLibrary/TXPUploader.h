#pragma once
// The network end of one or more targets: asked to upload a target under given conditions.
#include <cstdint>

namespace pex {

// Upload conditions, a bit set.
enum TXPUploadConditions : std::int64_t {
    TXPNetworkNone = 1,
    TXPNetworkCellular = 2,
    TXPNetworkWifi = 4,
    TXPUploadForced = 16,
};

class TXPUploader {
  public:
    virtual ~TXPUploader() = default;
    virtual void uploadTarget(std::int32_t target, std::int64_t conditions) = 0;
};

}  // namespace pex
