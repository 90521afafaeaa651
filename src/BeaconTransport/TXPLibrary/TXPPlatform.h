#pragma once
// What the transport asks of the operating system: where its files live, how objects become
// archive files and back, and what the network state means for uploads.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/KeyedArchive.h"

namespace pex {

inline constexpr const char* TXPErrorDomain = "TXPPlatform";

// The folder "beacon-sdks-events" in the user's caches folder, created (owner-only) on every
// call; a creation failure is reported as an assertion and the path returned all the same.
std::filesystem::path TXPStorageRootDirectory();

// Reachable: the reachable bit (2) set and the connection-required bit (4) clear.
bool TXPReachableWithoutConnection(std::uint32_t flags);
// There is no mobile data connection on this platform.
bool TXPFlagsContainMobileData(std::uint32_t flags);
// Upload conditions for reachability flags: TXPNetworkNone (1) unless reachable without a
// connection to make, then TXPNetworkCellular (2) on mobile data, else TXPNetworkWifi (4).
std::int64_t TXPUploadConditionsForFlags(std::uint32_t flags);
// 0 (none) or 1 (Wi-Fi or wired): 1 exactly when the current flags have the reachable bit.
int TXPCurrentNetworkType();
// No mobile subtype on this platform.
int TXPCurrentMobileSubtype();
std::string TXPPlatformModelName();

// Writes `bytes` atomically (owner-only), creating the parent folder when it is missing. An
// empty path writes nothing and fails.
bool TXPWriteDataToFile(std::string_view bytes, const std::filesystem::path& file,
                        ErrorRef* error = nullptr);

// The archive of `object`; when a path is given it is also written there (the data is returned
// even when that write fails, with `error` set).
template <typename T>
std::string TXPEncodeArchive(const T& object, const std::optional<std::filesystem::path>& file,
                             ErrorRef* error = nullptr) {
    std::string bytes = KeyedArchive::archive(object);
    if (file) TXPWriteDataToFile(bytes, *file, error);
    return bytes;
}

// The object archived in `bytes`; none (with `error` set) when they do not hold a T.
ErrorRef TXPArchiveDecodingError(const std::string& problem);
template <typename T>
std::optional<T> TXPDecodeArchive(std::string_view bytes, ErrorRef* error = nullptr) {
    std::string problem;
    std::optional<T> object = KeyedArchive::unarchive<T>(bytes, &problem);
    if (!object && error) *error = TXPArchiveDecodingError(problem);
    return object;
}

ErrorRef TXPFileError(const std::error_code& code, const std::filesystem::path& file);
template <typename T>
std::optional<T> TXPDecodeArchiveAtPath(const std::filesystem::path& file,
                                        ErrorRef* error = nullptr) {
    std::error_code code;
    std::optional<std::string> bytes = AtomicFile::read(file, code);
    if (!bytes) {
        if (error) *error = TXPFileError(code, file);
        return std::nullopt;
    }
    return TXPDecodeArchive<T>(*bytes, error);
}

}  // namespace pex
