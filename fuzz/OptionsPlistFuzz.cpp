// The SDK's options come from a property-list file among the application's resources. Any
// content gives options or none (with an error line), and the options' accessors hold.
#include <cstddef>
#include <cstdint>

#include "FuzzInputFile.h"
#include "beacon-core/BCNOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const FuzzInputFile input(data, size);
    const auto& file = FuzzInputFile::path();
    if (const auto options = BCNOptions::fromContentsOfFile(file)) {
        (void)options->beaconAppID();
        (void)options->APIKey();
        (void)options->projectID();
    }
    return 0;
}
