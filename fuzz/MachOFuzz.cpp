// Mach-O and universal files are read from disk for their identifiers and versions; any file
// may be damaged or hostile. Reading must stay inside the bytes and end.
#include <cstddef>
#include <cstdint>
#include <span>

#include "crashreporter/macho/CRSMachOBinary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pex::CRSMachOEnumerateSlicesInBytes(std::span<const std::uint8_t>(data, size), [](const pex::CRSMachOSlice& slice) {
        const pex::CRSMachOSliceInfo info(slice);
        (void)pex::CRSMachOFormatVersion(info.minimumOSVersion());
        pex::CRSMachOSliceEnumerateLoadCommands(slice, [](std::uint32_t, std::uint32_t size, const std::uint8_t* command) {
            (void)pex::CRSMachOIsEncrypted(command, size);
        });
    });
    return 0;
}
