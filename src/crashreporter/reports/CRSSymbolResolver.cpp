#include "crashreporter/reports/CRSSymbolResolver.h"

#include <dlfcn.h>

#include <algorithm>
#include <functional>

#include "crashreporter/reports/CRSElfSymbolTable.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {

namespace {

bool isNumber(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_number_unsigned();
}

std::uint64_t number(const nlohmann::json& object, const char* key) {
    return object.at(key).get<std::uint64_t>();
}

std::string text(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

// The loader's exported symbols first; the file's full symbol table for the others.
std::optional<CRSSymbolResolver::Symbol> CRSSymbolResolver::lookUp(
    std::uint64_t address, const CRSBinaryImageDetails& image) const {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(address), &info) == 0) return std::nullopt;
    if (info.dli_sname != nullptr && info.dli_saddr != nullptr) {
        return Symbol{info.dli_sname, reinterpret_cast<std::uint64_t>(info.dli_saddr)};
    }
    const std::string path = info.dli_fname != nullptr && info.dli_fname[0] != '\0'
                                 ? std::string(info.dli_fname)
                                 : image.path;
    if (const auto table = tableOfFile(path)) {
        if (const auto found = table->lookup(address - image.vmSlide)) {
            return Symbol{found->name, found->value + image.vmSlide};
        }
    }
    return Symbol{};
}

std::shared_ptr<const CRSElfSymbolTable> CRSSymbolResolver::tableOfFile(
    const std::string& path) const {
    auto cached = symbolTables_.find(path);
    if (cached == symbolTables_.end()) {
        cached = symbolTables_.emplace(path, CRSElfSymbolTable::load(path)).first;
    }
    return cached->second;
}

const CRSBinaryImageDetails* CRSSymbolResolver::loadedImage(const std::string& identifier) const {
    auto known = imageDetails_.find(identifier);
    if (known == imageDetails_.end()) {
        // Finding an image by identifier reads every loaded image's notes: once per image.
        CRSBinaryImageDetails found{};
        std::optional<CRSBinaryImageDetails> entry;
        if (fillInImageDetails(&found, identifier.c_str())) entry = found;
        known = imageDetails_.emplace(identifier, std::move(entry)).first;
    }
    return known->second ? &*known->second : nullptr;
}

bool CRSSymbolResolver::loadBinaryImagesFromFile(const std::string& path) {
    if (path.empty()) return false;
    const auto sections = CRSFileReadSections(path.c_str(), false);
    if (!sections) {
        CRSErrorLog("Failed to read binary image file " + path);
        return false;
    }
    binaryImages_.clear();
    for (const auto& section : *sections) {
        const auto load = section.find("load");
        if (load == section.end() || !load->is_object()) continue;
        if (!isNumber(*load, "base") || !isNumber(*load, "size")) continue;
        binaryImages_.push_back(*load);
    }
    std::stable_sort(binaryImages_.begin(), binaryImages_.end(),
                     [](const nlohmann::json& a, const nlohmann::json& b) {
                         return number(a, "base") < number(b, "base");
                     });
    return true;
}

std::optional<nlohmann::json> CRSSymbolResolver::loadedBinaryImageForPC(std::uint64_t pc) const {
    for (const auto& image : binaryImages_) {
        const std::uint64_t base = number(image, "base");
        if (base <= pc && pc - base < number(image, "size")) return image;
    }
    return std::nullopt;
}

bool CRSSymbolResolver::fillInImageDetails(CRSBinaryImageDetails* details, const char* uuid) {
    if (details == nullptr || uuid == nullptr) return false;
    return CRSBinaryImageFindImageForUUID(uuid, details);
}

bool CRSSymbolResolver::updateStackFrame(BCNStackFrame& frame, bool returnAddress) const {
    if (frame.address == 0) return false;
    const auto image = loadedBinaryImageForPC(frame.address);
    if (!image) return false;
    const std::string path = text(*image, "path");
    frame.library = path.substr(path.find_last_of('/') + 1);
    // Without an identifier nothing says that a file now is the one that crashed.
    const std::string identifier = text(*image, "uuid");
    if (identifier.empty()) return true;
    const std::uint64_t intoImage = frame.address - number(*image, "base");

    // Where the image's recorded base is now, and how to look an address up there.
    std::uint64_t base = 0;
    std::function<std::optional<Symbol>(std::uint64_t)> find;
    if (const CRSBinaryImageDetails* loaded = loadedImage(identifier)) {
        base = loaded->node.baseAddress;
        find = [this, loaded](std::uint64_t address) { return lookUp(address, *loaded); };
    } else if (const auto table = tableOfFile(path); table && table->buildId() == identifier) {
        // Not loaded here: the file at the recorded path is still the one that crashed.
        base = table->lowestLoadAddress();
        find = [table](std::uint64_t address) -> std::optional<Symbol> {
            const auto found = table->lookup(address);
            return found ? Symbol{found->name, found->value} : Symbol{};
        };
    } else {
        return true;
    }

    std::uint64_t address = base + intoImage;
    auto symbol = find(address);
    if (returnAddress && symbol && !symbol->name.empty() && symbol->start == address) {
        // A return address at a function's first byte follows a call that never returns at
        // the end of the function before it.
        address -= 2;
        symbol = find(address);
    }
    if (symbol && !symbol->name.empty()) {
        frame.symbol = symbol->name;
        frame.rawSymbol = symbol->name;
        if (symbol->start < address) frame.offset = address - symbol->start;
    }
    return true;
}

std::optional<BCNStackFrame> CRSSymbolResolver::frameForAddress(std::uint64_t address,
                                                                bool returnAddress) const {
    BCNStackFrame frame = BCNStackFrame::stackFrameWithAddress(address);
    if (!updateStackFrame(frame, returnAddress)) return std::nullopt;
    return frame;
}

}  // namespace pex
