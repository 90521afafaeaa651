#include "crashreporter/macho/CRSMachO.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "crashreporter/runtime/CRSHex.h"

namespace pex {
namespace {

constexpr std::uint32_t kFatMagic = 0xCAFEBABE;
constexpr std::uint32_t kMagic32 = 0xFEEDFACE;
constexpr std::uint32_t kMagic64 = 0xFEEDFACF;
constexpr std::uint32_t kCigam32 = 0xCEFAEDFE;
constexpr std::uint32_t kCigam64 = 0xCFFAEDFE;
constexpr std::size_t kFatHeaderSize = 8;
constexpr std::size_t kFatArchSize = 20;
constexpr std::size_t kHeaderSize32 = 28;
constexpr std::size_t kHeaderSize64 = 32;
constexpr std::uint32_t kLoadCommandHeaderSize = 8;
constexpr int kCpuTypeArm = 12;
constexpr int kCpuTypeArm64 = 0x0100000C;
constexpr int kCpuArchAbi64 = 0x01000000;

std::uint32_t readHost32(const std::uint8_t* p) {
    std::uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

std::uint32_t readBig32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

bool isNativeMagic(std::uint32_t magic) {
    return magic == kMagic32 || magic == kMagic64;
}

}  // namespace

bool CRSMachOFileInitWithPath(CRSMachOFile* file, const char* path) {
    *file = CRSMachOFile{};
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 16) {
        ::close(fd);
        return false;
    }
    void* mapped =
        ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    file->fd = fd;
    file->mappedSize = static_cast<std::uint64_t>(info.st_size);
    file->mappedFile = static_cast<const std::uint8_t*>(mapped);
    return true;
}

void CRSMachOFileDestroy(CRSMachOFile* file) {
    if (file->mappedFile && file->mappedSize > 0) {
        ::munmap(const_cast<std::uint8_t*>(file->mappedFile),
                 static_cast<std::size_t>(file->mappedSize));
    }
    if (file->fd >= 0) {
        ::close(file->fd);
    }
    *file = CRSMachOFile{};
}

bool CRSMachOFileEnumerateSlices(const CRSMachOFile& file, const CRSMachOSliceBlock& block) {
    if (!file.mappedFile) {
        return false;
    }
    return CRSMachOEnumerateSlicesInBytes(
        {file.mappedFile, static_cast<std::size_t>(file.mappedSize)}, block);
}

bool CRSMachOEnumerateSlicesInBytes(std::span<const std::uint8_t> bytes,
                                    const CRSMachOSliceBlock& block) {
    if (bytes.size() < 4) {
        return false;
    }
    const std::uint8_t* start = bytes.data();
    if (readBig32(start) == kFatMagic) {
        if (bytes.size() < kFatHeaderSize) {
            return false;
        }
        const std::uint64_t count = readBig32(start + 4);
        if (count > (bytes.size() - kFatHeaderSize) / kFatArchSize) {
            return false;
        }
        // Every record is checked before the first call, so a refused file yields nothing.
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* arch = start + kFatHeaderSize + i * kFatArchSize;
            const std::uint64_t offset = readBig32(arch + 8);
            const std::uint64_t size = readBig32(arch + 12);
            if (offset > bytes.size() || size > bytes.size() - offset) {
                return false;
            }
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* arch = start + kFatHeaderSize + i * kFatArchSize;
            const std::uint32_t offset = readBig32(arch + 8);
            CRSMachOSlice slice;
            slice.startAddress = start + offset;
            slice.size = readBig32(arch + 12);
            slice.cputype = static_cast<int>(readBig32(arch));
            slice.cpusubtype = static_cast<int>(readBig32(arch + 4));
            block(slice);
        }
        return true;
    }
    CRSMachOSlice slice;
    slice.startAddress = start;
    slice.size = bytes.size();
    if (isNativeMagic(readHost32(start)) && bytes.size() >= kHeaderSize32) {
        slice.cputype = static_cast<int>(readHost32(start + 4));
        slice.cpusubtype = static_cast<int>(readHost32(start + 8));
    }
    block(slice);
    return true;
}

const char* CRSMachOSliceGetArchitectureName(const CRSMachOSlice& slice) {
    const int subtype = slice.cpusubtype & 0x00FFFFFF;  // the top byte holds capability flags
    if (slice.cputype == kCpuTypeArm64) {
        if (subtype == 2) {
            return "arm64e";
        }
        if (subtype == 0) {
            return "arm64";
        }
    }
    if (slice.cputype == kCpuTypeArm) {
        if (subtype == 11) {
            return "armv7s";
        }
        if (subtype == 12) {
            return "armv7k";
        }
    }
    // The generic name of the CPU type, as the architecture tables name it.
    switch (slice.cputype) {
        case 7:
            return "i386";
        case 0x01000007:
            return "x86_64";
        case kCpuTypeArm:
            return "arm";
        case kCpuTypeArm64:
            return "arm64";
        case 0x0200000C:
            return "arm64_32";
        case 18:
            return "ppc";
        case 0x01000012:
            return "ppc64";
        default:
            return "unknown";
    }
}

bool CRSMachOSliceIs64Bit(const CRSMachOSlice& slice) {
    return (slice.cputype & kCpuArchAbi64) != 0;
}

bool CRSMachOSliceEnumerateLoadCommands(const CRSMachOSlice& slice,
                                        const CRSMachOLoadCommandBlock& block) {
    if (!slice.startAddress || slice.size < 4) {
        return false;
    }
    const std::uint32_t magic = readHost32(slice.startAddress);
    if (magic == kCigam32 || magic == kCigam64 || !isNativeMagic(magic)) {
        return false;
    }
    const std::size_t headerSize = magic == kMagic64 ? kHeaderSize64 : kHeaderSize32;
    if (slice.size < headerSize) {
        return false;
    }
    const std::uint32_t count = readHost32(slice.startAddress + 16);
    const std::uint32_t sizeOfCommands = readHost32(slice.startAddress + 20);
    if (sizeOfCommands > slice.size - headerSize) {
        return false;
    }
    const std::uint8_t* commands = slice.startAddress + headerSize;
    // First pass: every command must sit inside `sizeofcmds` and be at least its own header.
    std::uint64_t offset = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (sizeOfCommands - offset < kLoadCommandHeaderSize) {
            return false;
        }
        const std::uint32_t size = readHost32(commands + offset + 4);
        if (size < kLoadCommandHeaderSize || size > sizeOfCommands - offset) {
            return false;
        }
        offset += size;
    }
    offset = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* command = commands + offset;
        const std::uint32_t size = readHost32(command + 4);
        block(readHost32(command), size, command);
        offset += size;
    }
    return true;
}

bool CRSMachOGetUUID(const std::uint8_t* command, std::uint32_t size, std::uint8_t out[16]) {
    if (size < kLoadCommandHeaderSize + 16) {
        return false;
    }
    std::memcpy(out, command + kLoadCommandHeaderSize, 16);
    return true;
}

std::optional<std::string> CRSMachOGetDylibName(const std::uint8_t* command, std::uint32_t size) {
    if (size < 12) {
        return std::nullopt;
    }
    const std::uint32_t nameOffset = readHost32(command + 8);
    if (nameOffset >= size) {
        return std::nullopt;
    }
    const char* name = reinterpret_cast<const char*>(command + nameOffset);
    return std::string(name, ::strnlen(name, size - nameOffset));
}

std::optional<CRSMachOVersion> CRSMachOGetMinimumOSVersion(const std::uint8_t* command,
                                                           std::uint32_t size) {
    if (size < 12) {
        return std::nullopt;
    }
    return CRSMachODecodeVersion(readHost32(command + 8));
}

std::optional<CRSMachOVersion> CRSMachOGetLinkedSDKVersion(const std::uint8_t* command,
                                                           std::uint32_t size) {
    if (size < 16) {
        return std::nullopt;
    }
    return CRSMachODecodeVersion(readHost32(command + 12));
}

bool CRSMachOIsEncrypted(const std::uint8_t* command, std::uint32_t size) {
    return size >= 20 && readHost32(command + 16) != 0;
}

CRSMachOVersion CRSMachODecodeVersion(std::uint32_t packed) {
    return {packed >> 16, (packed >> 8) & 0xFF, packed & 0xFF};
}

std::string CRSMachONormalizeUUID(const std::uint8_t uuid[16]) {
    return CRSNSDataToNSString({uuid, 16});
}

std::optional<std::string> CRSMachOFormatVersion(const std::optional<CRSMachOVersion>& version) {
    if (!version) {
        return std::nullopt;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%u.%u.%u", version->major, version->minor, version->bugfix);
    return std::string(text);
}

}  // namespace pex
