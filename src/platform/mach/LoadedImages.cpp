#include "platform/mach/LoadedImages.h"

#include <elf.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "platform/mach/TaskMemory.h"

namespace pex {

namespace {

// More program headers than any real image has; keeps the crash-time copy on the stack.
constexpr std::size_t kMaxProgramHeaders = 64;
// Link-map entries followed at crash time before giving up on a corrupted or cyclic list.
constexpr int kMaxLinkMapEntries = 4096;
// Notes larger than this are not build identifiers worth reading.
constexpr std::size_t kMaxNoteSegment = 64 * 1024;

constexpr std::size_t align4(std::size_t value) {
    return (value + 3) & ~std::size_t{3};
}

// Looks for the NT_GNU_BUILD_ID note in one PT_NOTE segment, reading one note header at a time.
bool readBuildId(std::uintptr_t notes, std::size_t length, LoadedImageLayout* out) {
    if (length > kMaxNoteSegment) length = kMaxNoteSegment;
    std::size_t at = 0;
    while (at + sizeof(ElfW(Nhdr)) <= length) {
        ElfW(Nhdr) header;
        if (!TaskMemory::read(reinterpret_cast<const void*>(notes + at), &header, sizeof header)) {
            return false;
        }
        const std::size_t nameAt = at + sizeof header;
        const std::size_t descAt = nameAt + align4(header.n_namesz);
        const std::size_t next = descAt + align4(header.n_descsz);
        if (header.n_namesz > length || header.n_descsz > length || next > length) return false;
        char name[4];
        if (header.n_type == NT_GNU_BUILD_ID && header.n_namesz == 4 &&
            TaskMemory::read(reinterpret_cast<const void*>(notes + nameAt), name, 4) &&
            std::memcmp(name, "GNU", 4) == 0) {
            std::size_t size = header.n_descsz;
            if (size > kLoadedImageMaxBuildIdSize) size = kLoadedImageMaxBuildIdSize;
            if (!TaskMemory::read(reinterpret_cast<const void*>(notes + descAt), out->buildId,
                                  size)) {
                return false;
            }
            out->buildIdSize = size;
            return true;
        }
        at = next;
    }
    return false;
}

int collect(dl_phdr_info* info, std::size_t, void* data) {
    auto* images = static_cast<std::vector<LoadedImage>*>(data);
    LoadedImage image;
    if (!LoadedImages::describe(info->dlpi_addr, info->dlpi_phdr, info->dlpi_phnum,
                                &image.layout)) {
        return 0;
    }
    // The loader reports the main program first, without a name.
    image.isMainProgram = images->empty();
    if (image.isMainProgram) {
        image.path = LoadedImages::mainProgramPath();
    } else if (info->dlpi_name != nullptr) {
        image.path = info->dlpi_name;
    }
    images->push_back(std::move(image));
    return 0;
}

}  // namespace

bool LoadedImages::describe(std::uintptr_t loadBias, const void* programHeaders,
                            std::size_t headerCount, LoadedImageLayout* out) {
    if (headerCount == 0 || headerCount > kMaxProgramHeaders) return false;
    ElfW(Phdr) headers[kMaxProgramHeaders];
    if (!TaskMemory::read(programHeaders, headers, headerCount * sizeof(ElfW(Phdr)))) {
        return false;
    }
    *out = LoadedImageLayout{};
    out->loadBias = loadBias;
    std::uintptr_t low = UINTPTR_MAX;
    std::uintptr_t high = 0;
    for (std::size_t i = 0; i < headerCount; ++i) {
        const ElfW(Phdr)& header = headers[i];
        if (header.p_type == PT_LOAD) {
            const std::uintptr_t start = loadBias + header.p_vaddr;
            if (start < low) low = start;
            if (start + header.p_memsz > high) high = start + header.p_memsz;
        } else if (header.p_type == PT_GNU_EH_FRAME) {
            out->ehFrameHdr = loadBias + header.p_vaddr;
        }
    }
    if (high <= low) return false;
    for (std::size_t i = 0; i < headerCount && out->ehFrameHdr != 0; ++i) {
        const std::uintptr_t start = loadBias + headers[i].p_vaddr;
        if (headers[i].p_type == PT_LOAD && out->ehFrameHdr >= start &&
            out->ehFrameHdr - start < headers[i].p_memsz) {
            out->ehFrameSegmentStart = start;
            out->ehFrameSegmentEnd = start + headers[i].p_memsz;
        }
    }
    out->base = low;
    out->size = high - low;
    for (std::size_t i = 0; i < headerCount && out->buildIdSize == 0; ++i) {
        if (headers[i].p_type == PT_NOTE) {
            readBuildId(loadBias + headers[i].p_vaddr, headers[i].p_memsz, out);
        }
    }
    return true;
}

std::vector<LoadedImage> LoadedImages::enumerate() {
    std::vector<LoadedImage> images;
    dl_iterate_phdr(collect, &images);
    return images;
}

bool LoadedImages::findInLinkMap(std::uintptr_t address, LoadedImageLayout* out) {
    link_map* entry = nullptr;
    if (!TaskMemory::read(&_r_debug.r_map, &entry, sizeof entry)) return false;
    for (int visited = 0; entry != nullptr && visited < kMaxLinkMapEntries; ++visited) {
        link_map node;
        if (!TaskMemory::read(entry, &node, sizeof node)) return false;
        // A shared object's ELF header sits at its load bias (its first segment starts at 0).
        ElfW(Ehdr) header;
        if (TaskMemory::read(reinterpret_cast<const void*>(node.l_addr), &header, sizeof header) &&
            std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
            header.e_phentsize == sizeof(ElfW(Phdr))) {
            LoadedImageLayout layout;
            const auto* programHeaders =
                reinterpret_cast<const void*>(node.l_addr + header.e_phoff);
            if (describe(node.l_addr, programHeaders, header.e_phnum, &layout) &&
                address >= layout.base && address - layout.base < layout.size) {
                *out = layout;
                return true;
            }
        }
        entry = node.l_next;
    }
    return false;
}

std::string LoadedImages::mainProgramPath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace pex
