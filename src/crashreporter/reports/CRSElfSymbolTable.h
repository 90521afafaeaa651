#pragma once
// The function symbols of an ELF file's full symbol table (.symtab), or of its exported ones
// (.dynsym) when the file was stripped. The loader only knows the exported symbols of what is
// loaded now, so functions with internal linkage, and images the reading process has not
// loaded, are found here instead. The file's build identifier and lowest loaded address say
// whether it is the file a crash recorded and where the crash's addresses fall in it. Loaded
// once per file and kept sorted, as a report's frames mostly fall in the same few images.
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

    // Lowercase hex of the NT_GNU_BUILD_ID note (at most 20 bytes, as images are recorded);
    // empty when the file has none.
    const std::string& buildId() const { return buildId_; }
    // The lowest virtual address of a loadable segment: a recorded image's base maps to it.
    std::uint64_t lowestLoadAddress() const { return lowestLoadAddress_; }

  private:
    struct Entry {
        std::uint64_t value;
        std::uint64_t size;
        std::uint32_t nameOffset;
    };
    std::vector<Entry> functions_;  // by value, ascending
    std::string names_;             // the string table
    std::string buildId_;
    std::uint64_t lowestLoadAddress_ = 0;
};

}  // namespace pex
