// The bundle information is read from the Info.plist beside the executable, a file anyone can
// edit. Any content gives a bundle (empty when unreadable) whose accessors hold.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/foundation/Bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("pexmora-fuzz-" + std::to_string(getpid()) + ".plist");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const Bundle bundle = Bundle::fromFile(file);
    (void)bundle.shortVersion();
    (void)bundle.buildVersion();
    (void)bundle.bundleIdentifier();
    (void)bundle.displayName();
    (void)bundle.string("CFBundleExecutable");
    (void)bundle.value("CFBundleURLTypes");
    std::filesystem::remove(file);
    return 0;
}
