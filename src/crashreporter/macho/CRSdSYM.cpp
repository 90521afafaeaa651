#include "crashreporter/macho/CRSdSYM.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace pex {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDSYMIdentifierPrefix = "com.apple.xcode.dsym.";
constexpr const char* kInfoFileName = "Info.plist";
constexpr const char* kBuildIdFolderName = ".build-id";

// The folder's entries in byte order, hidden names left out; empty when it cannot be listed.
std::vector<fs::path> listing(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() && name[0] != '.') entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool isHexPair(const std::string& name) {
    return name.size() == 2 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The symbol files at build-id paths under a debug folder's ".build-id" folder.
std::vector<fs::path> buildIdSymbolFiles(const fs::path& buildIds) {
    std::vector<fs::path> files;
    for (const fs::path& prefix : listing(buildIds)) {
        if (!isHexPair(prefix.filename().string())) continue;
        for (const fs::path& entry : listing(prefix)) {
            if (entry.extension() == ".debug" && isFile(entry)) files.push_back(entry);
        }
    }
    return files;
}

// The files of a folder that holds a symbol file: its information file is not one of them.
std::vector<fs::path> folderSymbolFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const fs::path& entry : listing(folder)) {
        if (entry.filename() != kInfoFileName && isFile(entry)) files.push_back(entry);
    }
    return files;
}

}  // namespace

std::unique_ptr<CRSdSYM> CRSdSYM::dSYMWithURL(const fs::path& url) {
    std::error_code error;
    if (url.empty() || !fs::exists(url, error)) return nullptr;
    // The bundle: a folder, with or without information of its own.
    if (!fs::is_directory(url, error)) return nullptr;
    Bundle bundle(Bundle::fromFile(url / kInfoFileName).info(), url);

    const fs::path buildIds = url / kBuildIdFolderName;
    const std::vector<fs::path> symbolFiles =
        fs::is_directory(buildIds, error) ? buildIdSymbolFiles(buildIds) : folderSymbolFiles(url);
    if (symbolFiles.empty()) return nullptr;
    auto binary = CRSMachOBinary::MachOBinaryWithPath(symbolFiles.front().string());
    if (!binary) return nullptr;
    return std::unique_ptr<CRSdSYM>(new CRSdSYM(std::move(bundle), std::move(binary)));
}

std::string CRSdSYM::bundleIdentifier() const {
    std::string identifier = bundle_.bundleIdentifier();
    if (identifier.starts_with(kDSYMIdentifierPrefix)) {
        identifier.erase(0, kDSYMIdentifierPrefix.size());
    }
    return identifier;
}

std::string CRSdSYM::bundleVersion() const {
    return bundle_.buildVersion();
}

std::string CRSdSYM::shortBundleVersion() const {
    return bundle_.shortVersion();
}

void CRSdSYM::enumerateUUIDs(
    const std::function<void(const std::string& uuid, const char* architecture)>& block) const {
    binary_->enumerateUUIDs(block);
}

}  // namespace pex
