#pragma once
// gzip compression and gzip/zlib inflation of byte buffers, over zlib. Failures are errors of
// the domain "com.beacon.UTLNSDataZlibErrorDomain": 1024 input (or inflated output) too
// large, 1025 a zlib failure (its status under "UTLNSDataZlibErrorKey"), 1026 bytes left over
// after the end of the stream (their count under "UTLNSDataZlibRemainingBytesKey").
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/foundation/Error.h"

namespace pex {

using UTLData = std::vector<std::uint8_t>;

class UTLGzip {
  public:
    static constexpr const char* kErrorDomain = "com.beacon.UTLNSDataZlibErrorDomain";
    static constexpr const char* kZlibErrorKey = "UTLNSDataZlibErrorKey";
    static constexpr const char* kRemainingBytesKey = "UTLNSDataZlibRemainingBytesKey";
    enum ErrorCode : std::int64_t {
        kGreaterThan32BitsToCompress = 1024,
        kInternal = 1025,
        kDataRemaining = 1026,
    };
    // Inflated data larger than this fails with 1024 instead of exhausting memory.
    static constexpr std::size_t kDefaultMaxInflatedBytes = 64 * 1024 * 1024;

    // None and no error for empty input.
    static std::optional<UTLData> dataByGzippingData(std::span<const std::uint8_t> data,
                                                     ErrorRef* error);
    // None and no error for empty input.
    static std::optional<UTLData> dataByInflatingGzippedData(
        std::span<const std::uint8_t> data, ErrorRef* error,
        std::size_t maxInflatedBytes = kDefaultMaxInflatedBytes);
};

}  // namespace pex
