// The heartbeat store is a JSON file under the user's application support folder that an older
// version, a crash mid-write or anything else may have left. A file that does not decode whole
// reads as no store; one that decodes takes new heartbeats, encodes to itself and makes the
// header payload.
#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "beacon-core/Heartbeat.h"
#include "beacon-core/HeartbeatsBundle.h"
#include "beacon-core/HeartbeatsPayload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const auto json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded()) return 0;
    auto bundle = HeartbeatsBundle::fromJson(json);
    if (!bundle) return 0;
    const nlohmann::json stored = bundle->toJson();
    const auto again = HeartbeatsBundle::fromJson(stored);
    if (!again || again->toJson() != stored) __builtin_trap();

    (void)bundle->makePayload().headerValue();
    bundle->append(Heartbeat{"agent/1", 864000.0, 0, kAllTimePeriods});
    (void)bundle->takeHeartbeat(864000.0);
    (void)bundle->makePayload().headerValue();
    return 0;
}
