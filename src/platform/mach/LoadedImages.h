#pragma once
// The executable images (the program and every shared library) the loader has mapped into
// the process, described from their ELF program headers.
//
// `enumerate` asks the loader (`dl_iterate_phdr`): it takes the loader's lock, so it is for
// ordinary code only, never a signal handler. `findInLinkMap` is the crash-time counterpart:
// it walks the loader's own list of loaded objects and reads every header through
// `TaskMemory`, allocating nothing and taking no lock.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pex {

// The longest build identifier kept: a SHA-1 (20 bytes, 40 hex digits), the default of the
// GNU linkers. Longer identifiers are cut to this length.
inline constexpr std::size_t kLoadedImageMaxBuildIdSize = 20;

struct LoadedImageLayout {
    std::uintptr_t loadBias = 0;    // what the loader added to the file's addresses
    std::uintptr_t base = 0;        // lowest address of its loadable segments
    std::uint64_t size = 0;         // from base to the end of the highest loadable segment
    std::uintptr_t ehFrameHdr = 0;  // its sorted unwind table (PT_GNU_EH_FRAME), or 0
    // The loadable segment holding that table (and, as linkers lay them out, the call-frame
    // records it points to): reads of unwind data never leave it.
    std::uintptr_t ehFrameSegmentStart = 0;
    std::uintptr_t ehFrameSegmentEnd = 0;
    std::uint8_t buildId[kLoadedImageMaxBuildIdSize] = {};
    std::size_t buildIdSize = 0;  // 0 when the image carries no NT_GNU_BUILD_ID note
};

struct LoadedImage {
    LoadedImageLayout layout;
    std::string path;  // the main program's comes from /proc/self/exe
    bool isMainProgram = false;
};

class LoadedImages {
  public:
    // Every image the loader reports, the main program first.
    static std::vector<LoadedImage> enumerate();

    // Crash time: the image of the loader's object list whose loadable range holds `address`.
    static bool findInLinkMap(std::uintptr_t address, LoadedImageLayout* out);

    // The layout of an image from its load bias and program headers, every byte read through
    // `TaskMemory`; false when the headers cannot be read or hold no loadable segment.
    static bool describe(std::uintptr_t loadBias, const void* programHeaders,
                         std::size_t headerCount, LoadedImageLayout* out);

    // The path of the running program (/proc/self/exe), "" when it cannot be read.
    static std::string mainProgramPath();
};

}  // namespace pex
