// The telemetry server's reply body decides how long uploads wait. Whatever it sends, decoding
// must give a reply or an error, never fail harder.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "BeaconTransport/cct/TXBLogRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    pex::ErrorRef error;
    std::optional<pex::TXBUploadReply> reply = pex::TXBLogRequest::decodeLogResponse(body, &error);
    // Exactly one of the two: a reply, or an error that says why not.
    if (reply.has_value() == (error != nullptr)) __builtin_trap();
    return 0;
}
