#include "BeaconTransport/TXPLibrary/TXPPlatform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "BeaconTransport/TXPLibrary/TXPReachability.h"
#include "BeaconTransport/TXPLibrary/TXPUploader.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/systemconfiguration/NetworkReachability.h"

namespace pex {

std::filesystem::path TXPStorageRootDirectory() {
    // Asked of the standard folders each time, so a test that moves them moves the store too.
    std::filesystem::path root = StandardFolders::caches() / "beacon-sdks-events";
    static std::once_flag logged;
    std::call_once(logged,
                   [&] { TXPLogDebug(0, "TX's state will be saved to: " + root.string()); });
    std::error_code error;
    std::filesystem::create_directories(root, error);
    if (!error)
        std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
    TXPAssert(!error, "There was an error creating TX's path");
    return root;
}

bool TXPReachableWithoutConnection(std::uint32_t flags) {
    return (flags & NetworkReachability::kReachable) &&
           !(flags & NetworkReachability::kConnectionRequired);
}

bool TXPFlagsContainMobileData(std::uint32_t) {
    return false;
}

std::int64_t TXPUploadConditionsForFlags(std::uint32_t flags) {
    if (!TXPReachableWithoutConnection(flags)) return TXPNetworkNone;
    return TXPFlagsContainMobileData(flags) ? TXPNetworkCellular : TXPNetworkWifi;
}

int TXPCurrentNetworkType() {
    return (TXPReachability::currentFlags() & NetworkReachability::kReachable) ? 1 : 0;
}

int TXPCurrentMobileSubtype() {
    return 0;
}

std::string TXPPlatformModelName() {
    return "Unknown";
}

namespace {

// Temporary file (hidden, so selection never picks it up), then rename: readers see the old
// or the new content. Telemetry is not worth two disk flushes per event, so nothing is synced.
// The temporary name is the file's own (every event file name is unique); a leftover of a
// crashed write under that name makes way for a random one.
std::error_code writeAtomically(const std::filesystem::path& file, std::string_view bytes) {
    const std::string& path = file.native();
    const std::size_t slash = path.rfind('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    std::string temporary;
    temporary.reserve(path.size() + 12);
    temporary.append(path, 0, name).append(".").append(path, name).append(".tmp");
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        temporary += "-XXXXXX";
        fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // created 0600
    }
    if (fd < 0) return {errno, std::generic_category()};
    std::error_code error;
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = {errno, std::generic_category()};
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::close(fd) != 0 && !error) error = {errno, std::generic_category()};
    if (!error && ::rename(temporary.c_str(), file.c_str()) != 0)
        error = {errno, std::generic_category()};
    if (error) ::unlink(temporary.c_str());
    return error;
}

}  // namespace

ErrorRef TXPFileError(const std::error_code& code, const std::filesystem::path& file) {
    return Error::make(TXPErrorDomain, code.value(),
                       {{Error::kFailureReasonKey, code.message()}, {"path", file.string()}});
}

ErrorRef TXPArchiveDecodingError(const std::string& problem) {
    return Error::make(TXPErrorDomain, -1, {{Error::kFailureReasonKey, problem}});
}

bool TXPWriteDataToFile(std::string_view bytes, const std::filesystem::path& file,
                        ErrorRef* error) {
    if (file.empty()) return false;
    // The folder nearly always exists: it is made only when the first write finds it missing.
    std::error_code code = writeAtomically(file, bytes);
    if (code == std::errc::no_such_file_or_directory) {
        std::filesystem::create_directories(file.parent_path(), code);
        if (code) {
            TXPLogDebug(0, "Attempt to create directory failed: path:" +
                               file.parent_path().string() + " error:" + code.message());
            if (error) *error = TXPFileError(code, file.parent_path());
            return false;
        }
        code = writeAtomically(file, bytes);
    }
    if (code) {
        TXPLogDebug(0, "Attempt to write archive failed: path:" + file.string() +
                           " error:" + code.message());
        if (error) *error = TXPFileError(code, file);
        return false;
    }
    TXPLogDebug(0, "Writing archive succeeded: " + file.string());
    return true;
}

}  // namespace pex
