#pragma once
// Looks addresses up in an ELF file's full symbol table (.symtab). The loader only knows the
// exported symbols, so functions with internal linkage are found here instead.
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

struct CRSElfSymbol {
    std::string name;
    std::uint64_t value = 0;  // relative to the image's load bias
};

// The function symbol of the file at `path` that contains `address` (relative to the load
// bias); nothing when the file has no symbol table or no function covers the address.
std::optional<CRSElfSymbol> CRSElfSymbolTableLookup(const std::string& path, std::uint64_t address);

}  // namespace pex
