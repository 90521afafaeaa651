#include "crashreporter/reports/CRSSymbolResolver.h"

#include <dlfcn.h>

#include <algorithm>

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
    auto cached = symbolTables_.find(path);
    if (cached == symbolTables_.end()) {
        cached = symbolTables_.emplace(path, CRSElfSymbolTable::load(path)).first;
    }
    if (cached->second) {
        if (const auto found = cached->second->lookup(address - image.vmSlide)) {
            return Symbol{found->name, found->value + image.vmSlide};
        }
    }
    return Symbol{};
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

bool CRSSymbolResolver::updateStackFrame(BCNStackFrame& frame) const {
    if (frame.address == 0) return false;
    const auto image = loadedBinaryImageForPC(frame.address);
    if (!image) return false;
    const auto uuid = image->find("uuid");
    if (uuid == image->end() || !uuid->is_string()) return false;
    const std::string identifier = uuid->get<std::string>();
    auto known = imageDetails_.find(identifier);
    if (known == imageDetails_.end()) {
        // Finding an image by identifier reads every loaded image's notes: once per image.
        CRSBinaryImageDetails found{};
        std::optional<CRSBinaryImageDetails> entry;
        if (fillInImageDetails(&found, identifier.c_str())) entry = found;
        known = imageDetails_.emplace(identifier, std::move(entry)).first;
    }
    if (!known->second) return false;
    const CRSBinaryImageDetails& details = *known->second;

    std::uint64_t address = details.node.baseAddress + (frame.address - number(*image, "base"));
    auto symbol = lookUp(address, details);
    if (!symbol) return false;
    if (!symbol->name.empty() && symbol->start == address) {
        // A return address at a function's first byte follows a call that never returns at
        // the end of the function before it.
        address -= 2;
        symbol = lookUp(address, details);
        if (!symbol) return false;
    }
    if (!symbol->name.empty()) {
        frame.symbol = symbol->name;
        frame.rawSymbol = symbol->name;
        if (symbol->start < address) frame.offset = address - symbol->start;
    }
    const auto path = image->find("path");
    if (path != image->end() && path->is_string()) {
        const std::string text = path->get<std::string>();
        frame.library = text.substr(text.find_last_of('/') + 1);
    }
    return true;
}

std::optional<BCNStackFrame> CRSSymbolResolver::frameForAddress(std::uint64_t address) const {
    BCNStackFrame frame = BCNStackFrame::stackFrameWithAddress(address);
    if (!updateStackFrame(frame)) return std::nullopt;
    return frame;
}

}  // namespace pex
