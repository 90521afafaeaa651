#include "BeaconTransport/TXPLibrary/TXPPlatform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0)
            return written < 0 ? lastError() : std::make_error_code(std::errc::io_error);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

// A temporary file (hidden, so selection never picks it up), then rename: readers see the old
// or the new content. The temporary name is the file's own (every event file name is unique);
// a leftover of a crashed write under that name makes way for a random one.
std::error_code writeThroughRename(const std::string& path, std::size_t name,
                                   std::string_view bytes) {
    std::string temporary;
    temporary.reserve(path.size() + 12);
    temporary.append(path, 0, name).append(".").append(path, name).append(".tmp");
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        temporary += "-XXXXXX";
        fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // created 0600
    }
    if (fd < 0) return lastError();
    std::error_code error = writeAll(fd, bytes);
    if (::close(fd) != 0 && !error) error = lastError();
    if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = lastError();
    if (error) ::unlink(temporary.c_str());
    return error;
}

// Readers see the whole content or none: the file is written without a name and linked in
// complete. That is one directory change where a named temporary takes three (make, rename,
// drop the old name), and a crash mid-write leaves nothing behind. Where that cannot be done
// (a file system without unnamed files, no /proc, or a file to replace) the rename does it.
// Telemetry is not worth two disk flushes per event, so nothing is synced.
std::error_code writeAtomically(const std::filesystem::path& file, std::string_view bytes) {
    const std::string& path = file.native();
    const std::size_t slash = path.rfind('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = name == 0 ? std::string(".") : path.substr(0, name);
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == EACCES) return lastError();
        return writeThroughRename(path, name, bytes);  // no unnamed files here
    }
    if (std::error_code error = writeAll(fd, bytes)) {
        ::close(fd);
        return error;
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    const bool linked = ::linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
    const std::error_code linkError = linked ? std::error_code() : lastError();
    if (::close(fd) != 0 && linked) {
        const std::error_code error = lastError();
        ::unlink(path.c_str());
        return error;
    }
    if (linked) return {};
    if (linkError == std::errc::no_space_on_device || linkError == std::errc::permission_denied)
        return linkError;
    return writeThroughRename(path, name, bytes);  // a file to replace, or no /proc
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
