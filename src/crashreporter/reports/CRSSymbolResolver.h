#pragma once
// Resolves return addresses recorded at crash time to symbol names in the current process, by
// finding the same image (matched by its build identifier) among the images loaded now.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "crashreporter/BCNStackFrame.h"
#include "crashreporter/reports/CRSElfSymbolTable.h"
#include "crashreporter/runtime/CRSBinaryImage.h"

namespace pex {

// Not for use from several threads at once: images and symbol tables are cached as frames are
// resolved, for the duration of one report.
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
    struct Symbol {
        std::string name;  // empty when the address lies in an image but in no known symbol
        std::uint64_t start = 0;
    };
    std::optional<Symbol> lookUp(std::uint64_t address, const CRSBinaryImageDetails& image) const;

    std::vector<nlohmann::json> binaryImages_;
    // The images loaded now, by identifier (none for identifiers not loaded).
    mutable std::map<std::string, std::optional<CRSBinaryImageDetails>> imageDetails_;
    // Full symbol tables by file, loaded on first use (none for files without one).
    mutable std::map<std::string, std::shared_ptr<const CRSElfSymbolTable>> symbolTables_;
};

}  // namespace pex
