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
// Real images have a dozen program headers; 0xffff would mean a count kept elsewhere.
constexpr std::uint16_t kMaxSegments = 512;
// Build identifier notes are tiny; a larger note segment is read only this far.
constexpr std::uint64_t kMaxNoteBytes = 64 * 1024;
// As many bytes of a build identifier as an image record carries.
constexpr std::uint32_t kMaxBuildIdBytes = 20;

constexpr std::uint64_t align4(std::uint64_t value) {
    return (value + 3) & ~std::uint64_t{3};
}

// The build identifier in one note segment's bytes, as lowercase hex; empty when none is there.
std::string buildIdIn(const std::string& notes) {
    static const char kDigits[] = "0123456789abcdef";
    std::uint64_t at = 0;
    while (at + sizeof(Elf64_Nhdr) <= notes.size()) {
        Elf64_Nhdr note{};
        std::memcpy(&note, notes.data() + at, sizeof note);
        const std::uint64_t nameAt = at + sizeof note;
        const std::uint64_t descAt = nameAt + align4(note.n_namesz);
        const std::uint64_t next = descAt + align4(note.n_descsz);
        if (next > notes.size()) return {};
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
            std::memcmp(notes.data() + nameAt, "GNU", 4) == 0) {
            std::string text;
            for (std::uint32_t i = 0; i < note.n_descsz && i < kMaxBuildIdBytes; ++i) {
                const auto byte = static_cast<unsigned char>(notes[descAt + i]);
                text += kDigits[byte >> 4];
                text += kDigits[byte & 15];
            }
            return text;
        }
        at = next;
    }
    return {};
}

}  // namespace

std::shared_ptr<const CRSElfSymbolTable> CRSElfSymbolTable::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr header{};
    if (!in || !readAt(in, 0, &header, sizeof header)) return nullptr;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shnum == 0 || header.e_phentsize != sizeof(Elf64_Phdr) ||
        header.e_phnum > kMaxSegments) {
        return nullptr;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    if (!readAt(in, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr)) ||
        !readAt(in, header.e_phoff, segments.data(), segments.size() * sizeof(Elf64_Phdr))) {
        return nullptr;
    }
    std::string buildId;
    std::uint64_t lowest = UINT64_MAX;
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_type == PT_LOAD && segment.p_vaddr < lowest) lowest = segment.p_vaddr;
        if (segment.p_type != PT_NOTE || !buildId.empty()) continue;
        std::string notes(std::min(segment.p_filesz, kMaxNoteBytes), '\0');
        if (readAt(in, segment.p_offset, notes.data(), notes.size())) buildId = buildIdIn(notes);
    }
    if (lowest == UINT64_MAX) return nullptr;  // nothing of it is ever loaded

    // The full table when the file has one; the exported symbols of a stripped file otherwise.
    for (const std::uint32_t kind : {SHT_SYMTAB, SHT_DYNSYM}) {
        for (const Elf64_Shdr& table : sections) {
            if (table.sh_type != kind || table.sh_entsize != sizeof(Elf64_Sym) ||
                table.sh_link >= sections.size() || table.sh_size > kMaxTableBytes) {
                continue;
            }
            const Elf64_Shdr& strings = sections[table.sh_link];
            if (strings.sh_size > kMaxTableBytes || strings.sh_size > UINT32_MAX) continue;
            std::vector<Elf64_Sym> symbols(table.sh_size / sizeof(Elf64_Sym));
            auto result = std::make_shared<CRSElfSymbolTable>();
            result->buildId_ = buildId;
            result->lowestLoadAddress_ = lowest;
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
