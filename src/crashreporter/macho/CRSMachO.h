#pragma once
// Reading Mach-O files and universal (fat) files: slices, load commands, UUIDs and versions.
// The bytes come from files we did not write, so every read is bounded by the bytes we were
// given; a header in the other byte order, a count that runs past the bytes or a command
// shorter than its own header is refused rather than followed.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace pex {

inline constexpr std::uint32_t kCRSMachOLoadDylib = 12;
inline constexpr std::uint32_t kCRSMachOUUID = 27;
inline constexpr std::uint32_t kCRSMachOVersionMinMacOS = 36;
inline constexpr std::uint32_t kCRSMachOVersionMinIOS = 37;
inline constexpr std::uint32_t kCRSMachOVersionMinTvOS = 47;
inline constexpr std::uint32_t kCRSMachOVersionMinWatchOS = 48;

// A read-only shared mapping of a whole file.
struct CRSMachOFile {
    int fd = -1;
    std::uint64_t mappedSize = 0;
    const std::uint8_t* mappedFile = nullptr;
};

// One slice: where its header starts, how many bytes are readable from there, and the
// architecture it says it is for (0 when it is not a Mach-O header we read).
struct CRSMachOSlice {
    const std::uint8_t* startAddress = nullptr;
    std::size_t size = 0;
    int cputype = 0;
    int cpusubtype = 0;
};

struct CRSMachOVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t bugfix = 0;
    bool operator==(const CRSMachOVersion&) const = default;
};

using CRSMachOSliceBlock = std::function<void(const CRSMachOSlice&)>;
// (command type, command size, command bytes; exactly `size` of them are readable).
using CRSMachOLoadCommandBlock =
    std::function<void(std::uint32_t, std::uint32_t, const std::uint8_t*)>;

// Opens and maps a regular file of at least 16 bytes. On failure nothing stays open.
bool CRSMachOFileInitWithPath(CRSMachOFile* file, const char* path);
void CRSMachOFileDestroy(CRSMachOFile* file);

// Calls the block per slice in file order. A universal header whose architecture records or
// slices run past the bytes is refused: false, and the block is not called at all.
bool CRSMachOFileEnumerateSlices(const CRSMachOFile& file, const CRSMachOSliceBlock& block);
bool CRSMachOEnumerateSlicesInBytes(std::span<const std::uint8_t> bytes,
                                    const CRSMachOSliceBlock& block);

const char* CRSMachOSliceGetArchitectureName(const CRSMachOSlice& slice);
bool CRSMachOSliceIs64Bit(const CRSMachOSlice& slice);

// Checks the header and every command first; only a sound list is walked. False (and no
// calls) for a non-Mach-O or byte-swapped header, a command list beyond the slice or beyond
// `sizeofcmds`, or a `cmdsize` below 8. A header that is not Mach-O is not an error for the
// caller, who simply sees no commands.
bool CRSMachOSliceEnumerateLoadCommands(const CRSMachOSlice& slice,
                                        const CRSMachOLoadCommandBlock& block);

// Load-command readers; each checks the command is long enough for what it reads.
bool CRSMachOGetUUID(const std::uint8_t* command, std::uint32_t size, std::uint8_t out[16]);
std::optional<std::string> CRSMachOGetDylibName(const std::uint8_t* command, std::uint32_t size);
std::optional<CRSMachOVersion> CRSMachOGetMinimumOSVersion(const std::uint8_t* command,
                                                           std::uint32_t size);
std::optional<CRSMachOVersion> CRSMachOGetLinkedSDKVersion(const std::uint8_t* command,
                                                           std::uint32_t size);
bool CRSMachOIsEncrypted(const std::uint8_t* command, std::uint32_t size);

CRSMachOVersion CRSMachODecodeVersion(std::uint32_t packed);
std::string CRSMachONormalizeUUID(const std::uint8_t uuid[16]);
std::optional<std::string> CRSMachOFormatVersion(const std::optional<CRSMachOVersion>& version);

}  // namespace pex
