// Keyed archives are read back from the telemetry store on disk, which a crash may have cut
// short or anything may have overwritten. Unarchiving refuses what it cannot read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "BeaconTransport/TXPLibrary/TXPClock.h"
#include "BeaconTransport/TXPLibrary/TXPEvent.h"
#include "BeaconTransport/TXPLibrary/TXPProductData.h"
#include "platform/foundation/KeyedArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string problem;
    (void)KeyedArchive::unarchive<TXPEvent>(bytes, &problem);
    (void)KeyedArchive::unarchive<TXPClock>(bytes, &problem);
    (void)KeyedArchive::unarchive<TXPProductData>(bytes, &problem);
    return 0;
}
