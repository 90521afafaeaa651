#pragma once
// Tracks the loaded executable images so a report can say what was loaded where, and the
// unwinder can find an image's unwind table from an address at crash time without asking the
// loader. A fixed table of 1024 slots lives in the writable crash context; every change is
// also appended as a "load" or "unload" record to "binary_images.clsrecord".
//
// The loader sends no notifications here: the table is filled by a scan at start-up and
// brought up to date by later rescans (never from a signal handler: the scan takes the
// loader's lock). A watcher on the queue compares the loader's counts of added and removed
// objects every second and rescans only when they moved, so libraries loaded later by any
// code reach the record. Images loaded since the last rescan are still found at crash time
// through the loader's own object list.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "crashreporter/runtime/CRSFile.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

inline constexpr int kCRSBinaryImageSlotCount = 1024;
// 40 hex digits (a 20-byte build identifier) and the terminating zero.
inline constexpr int kCRSBinaryImageIdentifierSize = 41;
inline constexpr char kCRSBinaryImagesFileName[] = "binary_images.clsrecord";

struct CRSBinaryImageRuntimeNode {
    std::uintptr_t baseAddress;  // claimed by compare-and-swap; 0 for a free slot
    std::uint64_t size;          // 0 once unloaded: the slot then matches no address
    std::uintptr_t ehFrame;      // the image's sorted unwind table (.eh_frame_hdr), or 0
    std::uintptr_t unwindInfo;   // compact unwind table; ELF images have none
    std::uintptr_t crashInfo;    // crash-info messages; ELF images have none
    // The mapped segment around ehFrame: unwind data is read only inside it.
    std::uintptr_t ehFrameSegmentStart;
    std::uintptr_t ehFrameSegmentEnd;
};

struct CRSBinaryImageReadOnlyContext {
    const char* path;
};

struct CRSBinaryImageReadWriteContext {
    CRSFile file;
    CRSBinaryImageRuntimeNode nodes[kCRSBinaryImageSlotCount];
};

struct CRSBinaryImageDetails {
    std::string path;
    char identifier[kCRSBinaryImageIdentifierSize];  // lowercase hex of the build identifier
    bool encrypted;
    std::optional<std::string> minimumSDKVersion;  // ELF images carry none
    std::optional<std::string> builtSDKVersion;
    std::uintptr_t vmSlide;  // the load bias
    CRSBinaryImageRuntimeNode node;
};

// The serial queue ".binary-images" that every table and file change runs on.
DispatchQueue CRSBinaryImageQueue();

// Empties the table and, on the queue, records every image loaded now.
void CRSBinaryImageInit();
// On the queue: records images loaded since the last scan ("load") and those gone ("unload").
void CRSBinaryImageRescan();
// Rescans on the queue when the loader added or removed an object since the last scan, and
// returns once that is done: a library the caller has just loaded is in the record before its
// code runs. Cheap enough to call after every load of a library of the product's own.
void CRSBinaryImageRescanIfLoaderChanged();

// How often the watcher checks the loader's counts, on the current Clock.
inline constexpr std::chrono::seconds kCRSBinaryImageWatchInterval{1};
// Starts the watcher (a running one is replaced); it runs until stopped, at the latest when the
// process stops its background threads.
void CRSBinaryImageStartWatching();
void CRSBinaryImageStopWatching();

// Crash time: the slot whose range holds `address` (or the loader's object that does); false
// when none does or the context is not initialised. Allocates nothing, takes no lock.
bool CRSBinaryImageSafeFindImageForAddress(std::uintptr_t address, CRSBinaryImageRuntimeNode* out);
bool CRSBinaryImageHasUnwindInfo(const CRSBinaryImageRuntimeNode& node);

// The first loaded image whose identifier text equals `identifier`.
bool CRSBinaryImageFindImageForUUID(const char* identifier, CRSBinaryImageDetails* out);
// Writes the "executable" section for the main program.
void CRSBinaryImageRecordMainExecutable(CRSFile* file);

}  // namespace pex
