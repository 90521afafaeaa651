#include "crashreporter/reports/CRSElfSymbolTable.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace pex {

namespace {

bool readAt(std::ifstream& in, std::uint64_t offset, void* out, std::size_t size) {
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

}  // namespace

std::optional<CRSElfSymbol> CRSElfSymbolTableLookup(const std::string& path,
                                                    std::uint64_t address) {
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr header{};
    if (!in || !readAt(in, 0, &header, sizeof header)) return std::nullopt;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shnum == 0) {
        return std::nullopt;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!readAt(in, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
        return std::nullopt;
    }
    for (const Elf64_Shdr& table : sections) {
        if (table.sh_type != SHT_SYMTAB || table.sh_entsize != sizeof(Elf64_Sym) ||
            table.sh_link >= sections.size()) {
            continue;
        }
        const std::uint64_t count = table.sh_size / sizeof(Elf64_Sym);
        std::vector<Elf64_Sym> symbols(count);
        if (!readAt(in, table.sh_offset, symbols.data(), count * sizeof(Elf64_Sym))) continue;
        const Elf64_Sym* best = nullptr;
        for (const Elf64_Sym& symbol : symbols) {
            if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_shndx == SHN_UNDEF) continue;
            if (address < symbol.st_value || address - symbol.st_value >= symbol.st_size) continue;
            best = &symbol;
            break;
        }
        if (best == nullptr) continue;
        const Elf64_Shdr& strings = sections[table.sh_link];
        if (best->st_name >= strings.sh_size) return std::nullopt;
        in.clear();
        in.seekg(static_cast<std::streamoff>(strings.sh_offset + best->st_name));
        std::string text;
        char c = 0;
        while (text.size() < 4096 && in.get(c) && c != '\0') text.push_back(c);
        if (text.empty()) return std::nullopt;
        return CRSElfSymbol{text, best->st_value};
    }
    return std::nullopt;
}

}  // namespace pex
