#include "crashreporter/runtime/CRSHost.h"

#include <sys/statvfs.h>

#include <cstdlib>
#include <sstream>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSPlatform.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/mach/HostInfo.h"

namespace pex {

namespace {

constexpr char kFailed[] = "(failed)";

std::string orFailed(const std::optional<std::string>& value) {
    return value.value_or(kFailed);
}

}  // namespace

void CRSHostInitialize(CRSHostSettings* settings) {
    settings->pageSize = CRSHostGetPageSize();
    settings->clockTicksPerSecond = HostInfo::clockTicksPerSecond();
    const std::string documents = StandardFolders::documents().string();
    settings->documentDirectoryPath = documents.empty() ? nullptr : CRSDupString(documents.c_str());
    // Read now: the environment is not safe to read in a signal handler.
    const char* home = std::getenv("HOME");
    settings->homeDirectoryPath = home == nullptr || *home == '\0' ? nullptr : CRSDupString(home);
}

std::size_t CRSHostGetPageSize() {
    return HostInfo::pageSize();
}

bool CRSHostIsRosettaTranslated() {
    return false;
}

std::optional<std::string> CRSHostOSBuildVersion() {
    return HostInfo::kernelRelease();
}

std::string CRSHostFormatDisplayVersion(const std::optional<std::string>& version) {
    long parts[3] = {0, 0, 0};
    if (version) {
        std::istringstream in(*version);
        std::string piece;
        for (int i = 0; i < 3 && std::getline(in, piece, '.'); ++i) {
            try {
                parts[i] = std::stol(piece);
            } catch (const std::exception&) {
                break;
            }
        }
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]);
}

std::string CRSHostOSDisplayVersion() {
    return CRSHostFormatDisplayVersion(HostInfo::osVersion());
}

std::optional<std::string> CRSHostModelInfo() {
    return HostInfo::model();
}

std::string CRSSDKVersion() {
    return kCRSSDKVersion;
}

std::string CRSSDKGeneratorName() {
    return std::string(kCRSGeneratorProduct) + "/" + CRSSDKVersion();
}

bool CRSHostRecord(CRSFile* file) {
    CRSFileWriteSectionStart(file, "host");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryNSString(file, "model", orFailed(CRSHostModelInfo()));
    CRSFileWriteHashEntryNSString(file, "machine", orFailed(HostInfo::machine()));
    CRSFileWriteHashEntryNSString(file, "cpu", orFailed(HostInfo::cpuBrand()));
    CRSFileWriteHashEntryNSString(file, "os_build_version", orFailed(CRSHostOSBuildVersion()));
    CRSFileWriteHashEntryNSString(file, "os_display_version", CRSHostOSDisplayVersion());
    CRSFileWriteHashEntryString(file, "platform", kCRSPlatform);
    CRSFileWriteHashEntryString(file, "beacon_platform", kCRSBeaconPlatform);
    CRSFileWriteHashEntryNSString(file, "locale", HostInfo::localeIdentifier());
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
    return true;
}

void CRSHostWriteDiskUsage(CRSFile* file) {
    CRSFileWriteSectionStart(file, "storage");
    CRSFileWriteHashStart(file);
    std::uint64_t freeBytes = 0;
    std::uint64_t totalBytes = 0;
    const char* home = crsContext != nullptr && crsContext->readonly != nullptr
                           ? crsContext->readonly->host.homeDirectoryPath
                           : nullptr;
    struct statvfs stats {};
    if (home != nullptr && statvfs(home, &stats) == 0) {
        freeBytes = static_cast<std::uint64_t>(stats.f_bavail) * stats.f_frsize;
        totalBytes = static_cast<std::uint64_t>(stats.f_blocks) * stats.f_frsize;
    }
    CRSFileWriteHashEntryUint64(file, "free", freeBytes);
    CRSFileWriteHashEntryUint64(file, "total", totalBytes);
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

}  // namespace pex
