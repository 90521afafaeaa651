#pragma once
// What a report says about the machine: the "host" section of the metadata file (written at
// start-up) and the "storage" section of a crash record. The settings a crash handler needs
// are captured at start-up into the read-only context.
#include <cstddef>
#include <optional>
#include <string>

#include "crashreporter/runtime/CRSFile.h"

namespace pex {

struct CRSHostSettings {
    std::size_t pageSize;
    const char* documentDirectoryPath;  // in the read-only region, or null
    const char* homeDirectoryPath;      // in the read-only region, or null
    long clockTicksPerSecond;           // for the process times read at crash time
};

// Fills the settings: page size, the user's documents and home folders, the kernel's clock rate.
void CRSHostInitialize(CRSHostSettings* settings);
// The system's page size.
std::size_t CRSHostGetPageSize();
// Whether the process runs under binary translation: never on this platform.
bool CRSHostIsRosettaTranslated();

// The operating system's build: the kernel release.
std::optional<std::string> CRSHostOSBuildVersion();
// The operating system's version as "major.minor.patch" ("12" reads "12.0.0"); "0.0.0" when
// unknown.
std::string CRSHostOSDisplayVersion();
// Same, from a version text.
std::string CRSHostFormatDisplayVersion(const std::optional<std::string>& version);
std::optional<std::string> CRSHostModelInfo();
std::string CRSSDKVersion();
// "CrashReporter macOS SDK/<version>".
std::string CRSSDKGeneratorName();

// Writes the "host" section; true.
bool CRSHostRecord(CRSFile* file);
// Writes the "storage" section: free and total bytes of the file system holding the home folder
// (both 0 when it cannot be read). Safe in a signal handler.
void CRSHostWriteDiskUsage(CRSFile* file);

}  // namespace pex
