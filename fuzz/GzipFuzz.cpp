// Inflation reads gzip and zlib streams that came over the network or from disk. Any bytes give
// data or an error, never more than the limit; what inflates, compressed again, inflates to
// itself.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "beacon-core/HeartbeatsPayload.h"
#include "beacon-core/UTLGzip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    constexpr std::size_t kLimit = 1024 * 1024;
    const std::span<const std::uint8_t> bytes(data, size);
    ErrorRef error;
    const auto inflated = UTLGzip::dataByInflatingGzippedData(bytes, &error, kLimit);
    if (inflated) {
        if (inflated->size() > kLimit) __builtin_trap();
        ErrorRef again;
        const auto gzipped = UTLGzip::dataByGzippingData(*inflated, &again);
        if (!inflated->empty()) {
            if (!gzipped) __builtin_trap();
            const auto back = UTLGzip::dataByInflatingGzippedData(*gzipped, &again, kLimit);
            if (!back || *back != *inflated) __builtin_trap();
        }
    }
    // The same bytes as the header's base64url text of a gzipped payload.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto decoded = HeartbeatsPayload::fromBase64URLText(text)) {
        (void)HeartbeatsPayload::gunzipped(*decoded);
    }
    return 0;
}
