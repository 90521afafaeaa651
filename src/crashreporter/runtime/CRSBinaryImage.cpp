#include "crashreporter/runtime/CRSBinaryImage.h"

#include <link.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <map>
#include <vector>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSHex.h"
#include "crashreporter/runtime/CRSPlatform.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "platform/foundation/BackgroundThreads.h"
#include "platform/mach/LoadedImages.h"

namespace pex {

namespace {

struct TrackedImage {
    std::string path;
    std::string identifier;
    std::uint64_t size;
};

// What the last scan recorded, by base address. Touched only on the queue.
std::map<std::uintptr_t, TrackedImage>& trackedImages() {
    static std::map<std::uintptr_t, TrackedImage> images;
    return images;
}

// The loader's count of objects added plus objects removed since the process began: it moves
// on every load and unload. 0 when the loader does not say, which makes every check rescan.
std::uint64_t loaderChangeCount() {
    std::uint64_t count = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t size, void* data) {
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
                *static_cast<std::uint64_t*>(data) = info->dlpi_adds + info->dlpi_subs;
            }
            return 1;  // every object carries the same counts: the first one is enough
        },
        &count);
    return count;
}

// The loader's count when the last scan listed the images. Touched only on the queue.
std::uint64_t& scannedLoaderCount() {
    static std::uint64_t count = 0;
    return count;
}

// Each start of the watcher takes a new generation; a check of an older one ends its chain.
std::atomic<std::uint64_t>& watchGeneration() {
    static std::atomic<std::uint64_t> generation{0};
    return generation;
}

bool contextPresent() {
    return reinterpret_cast<std::uintptr_t>(crsContext) >= 4096 &&
           reinterpret_cast<std::uintptr_t>(crsContext->readonly) >= 4096 &&
           reinterpret_cast<std::uintptr_t>(crsContext->writable) >= 4096;
}

void identifierText(const LoadedImageLayout& layout, char* out) {
    CRSSafeHexToString(layout.buildId, layout.buildIdSize, out);
}

CRSBinaryImageRuntimeNode nodeFor(const LoadedImageLayout& layout) {
    return CRSBinaryImageRuntimeNode{layout.base,
                                     layout.size,
                                     layout.ehFrameHdr,
                                     0,
                                     0,
                                     layout.ehFrameSegmentStart,
                                     layout.ehFrameSegmentEnd};
}

// Claims a free slot for a loaded image; false when all are taken.
bool storeLoaded(CRSBinaryImageRuntimeNode* nodes, const CRSBinaryImageRuntimeNode& node) {
    for (int i = 0; i < kCRSBinaryImageSlotCount; ++i) {
        std::uintptr_t expected = 0;
        if (!std::atomic_ref<std::uintptr_t>(nodes[i].baseAddress)
                 .compare_exchange_strong(expected, node.baseAddress)) {
            continue;
        }
        nodes[i].ehFrame = node.ehFrame;
        nodes[i].unwindInfo = node.unwindInfo;
        nodes[i].crashInfo = node.crashInfo;
        nodes[i].ehFrameSegmentStart = node.ehFrameSegmentStart;
        nodes[i].ehFrameSegmentEnd = node.ehFrameSegmentEnd;
        std::atomic_ref<std::uint64_t>(nodes[i].size).store(node.size);
        return true;
    }
    return false;
}

// Empties the slot of an unloaded image but keeps its address: it is not reused.
bool storeUnloaded(CRSBinaryImageRuntimeNode* nodes, std::uintptr_t base) {
    for (int i = 0; i < kCRSBinaryImageSlotCount; ++i) {
        std::atomic_ref<std::uint64_t> size(nodes[i].size);
        if (std::atomic_ref<std::uintptr_t>(nodes[i].baseAddress).load() != base ||
            size.load() == 0) {
            continue;
        }
        size.store(0);
        nodes[i].ehFrame = 0;
        nodes[i].unwindInfo = 0;
        nodes[i].crashInfo = 0;
        nodes[i].ehFrameSegmentStart = 0;
        nodes[i].ehFrameSegmentEnd = 0;
        return true;
    }
    return false;
}

void writeRecord(CRSFile* file, const char* section, const std::string& path,
                 const char* identifier, std::uintptr_t base, std::uint64_t size) {
    CRSFileWriteSectionStart(file, section);
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryString(file, "path", path.c_str());
    CRSFileWriteHashEntryString(file, "uuid", identifier);
    CRSFileWriteHashEntryUint64(file, "base", base);
    CRSFileWriteHashEntryUint64(file, "size", size);
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

// Brings the table and the file up to date with what is loaded now. Runs on the queue.
void scan(bool resetFile) {
    if (!contextPresent()) {
        CRSSDKLogWarn("Error: Writable context is NULL\n");
        return;
    }
    CRSBinaryImageReadWriteContext& state = crsContext->writable->binaryImage;
    const char* path = crsContext->readonly->binaryimage.path;
    if (resetFile && path != nullptr && !CRSUnlinkIfExists(path)) {
        CRSSDKLogWarn("Unable to reset the binary image log file %s\n", strerror(errno));
    }
    if (!CRSFileInit(&state.file, path, false)) {
        CRSSDKLogWarn("Error: unable to open binary image log file\n");
    }
    const bool open = CRSFileIsOpen(&state.file);

    // Read before listing: a load while the list is made moves the count past this one.
    scannedLoaderCount() = loaderChangeCount();
    std::map<std::uintptr_t, const LoadedImage*> current;
    const std::vector<LoadedImage> images = LoadedImages::enumerate();
    for (const LoadedImage& image : images) current[image.layout.base] = &image;

    auto& tracked = trackedImages();
    for (auto it = tracked.begin(); it != tracked.end();) {
        const auto now = current.find(it->first);
        if (now != current.end() && now->second->path == it->second.path) {
            ++it;
            continue;
        }
        if (!storeUnloaded(state.nodes, it->first)) {
            CRSSDKLogWarn("Error: Unable to track a %s node %p\n", "unloaded",
                          reinterpret_cast<void*>(it->first));
        }
        if (open) {
            writeRecord(&state.file, "unload", it->second.path, it->second.identifier.c_str(),
                        it->first, it->second.size);
        }
        it = tracked.erase(it);
    }
    for (const LoadedImage& image : images) {
        if (tracked.count(image.layout.base) != 0) continue;
        if (!storeLoaded(state.nodes, nodeFor(image.layout))) {
            CRSSDKLogWarn("Error: Unable to track a %s node %p\n", "loaded",
                          reinterpret_cast<void*>(image.layout.base));
            continue;
        }
        char identifier[kCRSBinaryImageIdentifierSize];
        identifierText(image.layout, identifier);
        tracked[image.layout.base] = TrackedImage{image.path, identifier, image.layout.size};
        if (open) {
            writeRecord(&state.file, "load", image.path, identifier, image.layout.base,
                        image.layout.size);
        }
    }
    if (open) CRSFileClose(&state.file);
}

// Runs on the queue.
void scanIfLoaderChanged() {
    const std::uint64_t now = loaderChangeCount();
    if (now != 0 && now == scannedLoaderCount()) return;
    scan(false);
}

void scheduleWatch(std::uint64_t generation) {
    CRSBinaryImageQueue().asyncAfter(kCRSBinaryImageWatchInterval, [generation] {
        if (watchGeneration().load() != generation) return;
        scanIfLoaderChanged();
        scheduleWatch(generation);
    });
}

}  // namespace

DispatchQueue CRSBinaryImageQueue() {
    static const DispatchQueue queue =
        DispatchQueue::serial(std::string(kCRSSDKBundleIdentifier) + ".binary-images");
    return queue;
}

void CRSBinaryImageInit() {
    if (contextPresent()) {
        std::memset(static_cast<void*>(&crsContext->writable->binaryImage), 0,
                    sizeof(CRSBinaryImageReadWriteContext));
        crsContext->writable->binaryImage.file.fd = -1;
    }
    CRSBinaryImageQueue().async([] {
        trackedImages().clear();
        scan(true);
    });
}

void CRSBinaryImageRescan() {
    CRSBinaryImageQueue().async([] { scan(false); });
}

void CRSBinaryImageRescanIfLoaderChanged() {
    const DispatchQueue& queue = CRSBinaryImageQueue();
    if (queue.isCurrent()) {
        scanIfLoaderChanged();
    } else {
        queue.sync(scanIfLoaderChanged);
    }
}

void CRSBinaryImageStartWatching() {
    // A watcher checks again after each check for as long as the process runs: it ends when the
    // process stops its threads, and a scan under way finishes first.
    static const auto* stopAtExit =
        new BackgroundThreads::Registration(BackgroundThreads::atStop(CRSBinaryImageStopWatching));
    (void)stopAtExit;
    scheduleWatch(++watchGeneration());
}

void CRSBinaryImageStopWatching() {
    ++watchGeneration();
}

bool CRSBinaryImageSafeFindImageForAddress(std::uintptr_t address, CRSBinaryImageRuntimeNode* out) {
    if (out == nullptr || !CRSContextIsInitialized()) return false;
    const CRSBinaryImageRuntimeNode* nodes = crsContext->writable->binaryImage.nodes;
    for (int i = 0; i < kCRSBinaryImageSlotCount; ++i) {
        const std::uintptr_t base =
            std::atomic_ref<const std::uintptr_t>(nodes[i].baseAddress).load();
        const std::uint64_t size = std::atomic_ref<const std::uint64_t>(nodes[i].size).load();
        if (base != 0 && address >= base && address - base < size) {
            *out = nodes[i];
            out->baseAddress = base;
            out->size = size;
            return true;
        }
    }
    LoadedImageLayout layout;
    if (!LoadedImages::findInLinkMap(address, &layout)) return false;
    *out = nodeFor(layout);
    return true;
}

bool CRSBinaryImageHasUnwindInfo(const CRSBinaryImageRuntimeNode& node) {
    return node.unwindInfo > 4095;
}

bool CRSBinaryImageFindImageForUUID(const char* identifier, CRSBinaryImageDetails* out) {
    if (identifier == nullptr || out == nullptr) {
        CRSSDKLogWarn("null input\n");
        return false;
    }
    for (const LoadedImage& image : LoadedImages::enumerate()) {
        char text[kCRSBinaryImageIdentifierSize];
        identifierText(image.layout, text);
        if (std::strncmp(text, identifier, kCRSBinaryImageIdentifierSize) != 0) continue;
        out->path = image.path;
        std::memcpy(out->identifier, text, sizeof text);
        out->encrypted = false;
        out->minimumSDKVersion.reset();
        out->builtSDKVersion.reset();
        out->vmSlide = image.layout.loadBias;
        out->node = nodeFor(image.layout);
        return true;
    }
    return false;
}

void CRSBinaryImageRecordMainExecutable(CRSFile* file) {
    const std::vector<LoadedImage> images = LoadedImages::enumerate();
    const LoadedImage* main = images.empty() ? nullptr : &images.front();
    if (file == nullptr) {
        CRSSDKLogWarn("Error: file is invalid\n");
        return;
    }
    CRSFileWriteSectionStart(file, "executable");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryString(file, "architecture", kCRSArchitectureName);
    if (main != nullptr) {
        char identifier[kCRSBinaryImageIdentifierSize];
        identifierText(main->layout, identifier);
        CRSFileWriteHashEntryString(file, "uuid", identifier);
        CRSFileWriteHashEntryUint64(file, "base", main->layout.base);
        CRSFileWriteHashEntryUint64(file, "size", main->layout.size);
    }
    CRSFileWriteHashEntryBoolean(file, "encrypted", false);
    CRSFileWriteHashEntryString(file, "minimum_sdk_version", nullptr);
    CRSFileWriteHashEntryString(file, "built_sdk_version", nullptr);
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

}  // namespace pex
