#pragma once
// Resolves return addresses recorded at crash time to symbol names in the current process, by
// finding the same image (matched by its build identifier) among the images loaded now.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "crashreporter/BCNStackFrame.h"
#include "crashreporter/runtime/CRSBinaryImage.h"

namespace pex {

class CRSSymbolResolver {
  public:
    // Reads the "load" entries of a binary image record file. False for an empty path or an
    // unreadable file; true (possibly with no entries) otherwise.
    bool loadBinaryImagesFromFile(const std::string& path);
    // The first entry with base <= pc < base + size.
    std::optional<nlohmann::json> loadedBinaryImageForPC(std::uint64_t pc) const;
    static bool fillInImageDetails(CRSBinaryImageDetails* details, const char* uuid);
    // Fills symbol, raw symbol, offset and library; false when the address cannot be resolved.
    bool updateStackFrame(BCNStackFrame& frame) const;
    std::optional<BCNStackFrame> frameForAddress(std::uint64_t address) const;

    // Sorted by "base", ascending.
    const std::vector<nlohmann::json>& binaryImages() const { return binaryImages_; }

  private:
    std::vector<nlohmann::json> binaryImages_;
};

}  // namespace pex
