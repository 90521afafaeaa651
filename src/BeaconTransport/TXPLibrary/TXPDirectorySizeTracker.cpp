#include "BeaconTransport/TXPLibrary/TXPDirectorySizeTracker.h"

namespace pex {

namespace fs = std::filesystem;

std::uint64_t TXPDirectorySizeTracker::directoryContentSize() {
    if (cachedSizeBytes_) return *cachedSizeBytes_;
    std::uint64_t total = 0;
    std::error_code error;
    fs::recursive_directory_iterator entries(directoryPath_, error), end;
    for (; !error && entries != end; entries.increment(error)) {
        if (entries->path().filename().string().starts_with(".")) {
            if (entries->is_directory(error)) entries.disable_recursion_pending();
            continue;
        }
        std::error_code fileError;
        if (entries->is_regular_file(fileError)) {
            std::uintmax_t size = entries->file_size(fileError);
            if (!fileError) total += size;
        }
    }
    cachedSizeBytes_ = total;
    return total;
}

bool TXPDirectorySizeTracker::isInside(const fs::path& path) const {
    return path.string().starts_with(directoryPath_.string());
}

// Without a cached size there is nothing to adjust: the next walk sees the file as it is.
// (Walking now would count the new file twice.)
void TXPDirectorySizeTracker::fileWasAddedAtPath(const fs::path& path, std::uint64_t size) {
    if (isInside(path) && cachedSizeBytes_) *cachedSizeBytes_ += size;
}

void TXPDirectorySizeTracker::fileWasRemovedAtPath(const fs::path& path, std::uint64_t size) {
    if (!isInside(path) || !cachedSizeBytes_) return;
    // Never wrap around below zero: that would read as a full store for good.
    *cachedSizeBytes_ = *cachedSizeBytes_ >= size ? *cachedSizeBytes_ - size : 0;
}

std::uint64_t TXPDirectorySizeTracker::fileSizeAtPath(const fs::path& path) {
    std::error_code error;
    std::uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace pex
