// The SDK's options come from a property-list file among the application's resources. Any
// content gives options or none (with an error line), and the options' accessors hold.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "beacon-core/BCNOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("pexmora-fuzz-" + std::to_string(getpid()) + ".plist");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (const auto options = BCNOptions::fromContentsOfFile(file)) {
        (void)options->beaconAppID();
        (void)options->APIKey();
        (void)options->projectID();
    }
    std::filesystem::remove(file);
    return 0;
}
