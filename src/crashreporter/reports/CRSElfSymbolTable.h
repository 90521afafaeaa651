#pragma once
// The function symbols of an ELF file's full symbol table (.symtab). The loader only knows the
// exported symbols, so functions with internal linkage are found here instead. Loaded once per
// file and kept sorted, as a report's frames mostly fall in the same few images.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pex {

struct CRSElfSymbol {
    std::string name;
    std::uint64_t value = 0;  // relative to the image's load bias
};

class CRSElfSymbolTable {
  public:
    // The table of the file at `path`; nothing when the file cannot be read or has none.
    static std::shared_ptr<const CRSElfSymbolTable> load(const std::string& path);

    // The function that contains `address` (relative to the load bias).
    std::optional<CRSElfSymbol> lookup(std::uint64_t address) const;

  private:
    struct Entry {
        std::uint64_t value;
        std::uint64_t size;
        std::uint32_t nameOffset;
    };
    std::vector<Entry> functions_;  // by value, ascending
    std::string names_;             // the string table
};

}  // namespace pex
