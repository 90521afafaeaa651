#include "crashreporter/runtime/CRSHost.h"

#include <sstream>

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
    CRSFileWriteHashEntryUint64(file, "free", 0);
    CRSFileWriteHashEntryUint64(file, "total", 0);
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

}  // namespace pex
