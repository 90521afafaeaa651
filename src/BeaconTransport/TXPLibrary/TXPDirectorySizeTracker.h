#pragma once
// The size of everything under one folder, computed once by walking it and then kept up to
// date as files are added and removed. Used only on the storage's queue.
#include <cstdint>
#include <filesystem>
#include <optional>

namespace pex {

class TXPDirectorySizeTracker {
  public:
    explicit TXPDirectorySizeTracker(std::filesystem::path directoryPath)
        : directoryPath_(std::move(directoryPath)) {}

    const std::filesystem::path& directoryPath() const { return directoryPath_; }
    const std::optional<std::uint64_t>& cachedSizeBytes() const { return cachedSizeBytes_; }

    std::uint64_t directoryContentSize();
    void fileWasAddedAtPath(const std::filesystem::path& path, std::uint64_t size);
    void fileWasRemovedAtPath(const std::filesystem::path& path, std::uint64_t size);
    void resetCachedSize() { cachedSizeBytes_.reset(); }
    static std::uint64_t fileSizeAtPath(const std::filesystem::path& path);

  private:
    bool isInside(const std::filesystem::path& path) const;

    const std::filesystem::path directoryPath_;
    std::optional<std::uint64_t> cachedSizeBytes_;
};

}  // namespace pex
