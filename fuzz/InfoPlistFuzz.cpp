// The bundle information is read from the Info.plist beside the executable, a file anyone can
// edit. Any content gives a bundle (empty when unreadable) whose accessors hold.
#include <cstddef>
#include <cstdint>

#include "FuzzInputFile.h"
#include "platform/foundation/Bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const FuzzInputFile input(data, size);
    const auto& file = FuzzInputFile::path();
    const Bundle bundle = Bundle::fromFile(file);
    (void)bundle.shortVersion();
    (void)bundle.buildVersion();
    (void)bundle.bundleIdentifier();
    (void)bundle.displayName();
    (void)bundle.string("CFBundleExecutable");
    (void)bundle.value("CFBundleURLTypes");
    return 0;
}
