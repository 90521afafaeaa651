#include "crashreporter/reports/CRSElfSymbolTable.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace pex {

namespace {

bool readAt(std::ifstream& in, std::uint64_t offset, void* out, std::size_t size) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

// Section sizes come from the file: refuse any that could not be a real table.
constexpr std::uint64_t kMaxTableBytes = std::uint64_t{1} << 30;

}  // namespace

std::shared_ptr<const CRSElfSymbolTable> CRSElfSymbolTable::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr header{};
    if (!in || !readAt(in, 0, &header, sizeof header)) return nullptr;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shnum == 0) {
        return nullptr;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!readAt(in, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
        return nullptr;
    }
    for (const Elf64_Shdr& table : sections) {
        if (table.sh_type != SHT_SYMTAB || table.sh_entsize != sizeof(Elf64_Sym) ||
            table.sh_link >= sections.size() || table.sh_size > kMaxTableBytes) {
            continue;
        }
        const Elf64_Shdr& strings = sections[table.sh_link];
        if (strings.sh_size > kMaxTableBytes || strings.sh_size > UINT32_MAX) continue;
        std::vector<Elf64_Sym> symbols(table.sh_size / sizeof(Elf64_Sym));
        auto result = std::make_shared<CRSElfSymbolTable>();
        result->names_.resize(strings.sh_size);
        if (!readAt(in, table.sh_offset, symbols.data(), symbols.size() * sizeof(Elf64_Sym)) ||
            !readAt(in, strings.sh_offset, result->names_.data(), result->names_.size())) {
            continue;
        }
        for (const Elf64_Sym& symbol : symbols) {
            if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_shndx == SHN_UNDEF ||
                symbol.st_size == 0 || symbol.st_name >= strings.sh_size) {
                continue;
            }
            result->functions_.push_back({symbol.st_value, symbol.st_size, symbol.st_name});
        }
        std::sort(result->functions_.begin(), result->functions_.end(),
                  [](const Entry& a, const Entry& b) { return a.value < b.value; });
        return result;
    }
    return nullptr;
}

std::optional<CRSElfSymbol> CRSElfSymbolTable::lookup(std::uint64_t address) const {
    auto after = std::upper_bound(
        functions_.begin(), functions_.end(), address,
        [](std::uint64_t value, const Entry& entry) { return value < entry.value; });
    // Nested or aliased symbols may share ranges: the nearest one that covers the address wins.
    for (int looked = 0; after != functions_.begin() && looked < 8; ++looked) {
        --after;
        if (address - after->value < after->size) {
            // The string table is the file's own: the name ends at its NUL or at the table's end.
            const char* start = names_.data() + after->nameOffset;
            const std::size_t length = strnlen(start, names_.size() - after->nameOffset);
            if (length == 0) return std::nullopt;
            return CRSElfSymbol{std::string(start, length), after->value};
        }
    }
    return std::nullopt;
}

}  // namespace pex
