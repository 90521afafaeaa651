#pragma once
// Resolves return addresses recorded at crash time to symbol names. An image is matched by the
// build identifier its record carries: among the images loaded now, or else in the file at its
// recorded path (an image this process never loaded). A frame whose image cannot be matched
// keeps its address and still names the recorded library.
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
    // Fills library from the record, and symbol, raw symbol and offset when the image matches;
    // false when no recorded image holds the address. A return address is where a call comes
    // back to; the instruction a thread was stopped at (a fault, say) is not one.
    bool updateStackFrame(BCNStackFrame& frame, bool returnAddress = true) const;
    std::optional<BCNStackFrame> frameForAddress(std::uint64_t address,
                                                 bool returnAddress = true) const;

    // Sorted by "base", ascending.
    const std::vector<nlohmann::json>& binaryImages() const { return binaryImages_; }

  private:
    struct Symbol {
        std::string name;  // empty when the address lies in an image but in no known symbol
        std::uint64_t start = 0;
    };
    std::optional<Symbol> lookUp(std::uint64_t address, const CRSBinaryImageDetails& image) const;
    // The image loaded now whose identifier is `identifier`, or null.
    const CRSBinaryImageDetails* loadedImage(const std::string& identifier) const;
    // The symbol table of the file at `path` (cached), or null.
    std::shared_ptr<const CRSElfSymbolTable> tableOfFile(const std::string& path) const;

    std::vector<nlohmann::json> binaryImages_;
    // The images loaded now, by identifier (none for identifiers not loaded).
    mutable std::map<std::string, std::optional<CRSBinaryImageDetails>> imageDetails_;
    // Full symbol tables by file, loaded on first use (none for files without one).
    mutable std::map<std::string, std::shared_ptr<const CRSElfSymbolTable>> symbolTables_;
};

}  // namespace pex
