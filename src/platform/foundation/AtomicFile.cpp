#include "platform/foundation/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <vector>

namespace pex {
namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Creates the missing folders of `folder` one by one with owner-only access.
std::error_code makeFolders(const fs::path& folder) {
    if (folder.empty()) return {};
    fs::path current;
    for (const auto& part : folder) {
        current /= part;
        if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) return lastError();
    }
    return {};
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes the rename itself durable; a failure here loses nothing already written.
void syncFolder(const fs::path& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::optional<std::string> AtomicFile::read(const fs::path& file, std::error_code& error,
                                            std::size_t limit) {
    error.clear();
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = lastError();
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                      : std::make_error_code(std::errc::invalid_argument);
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    if (size > limit) {
        error = std::make_error_code(std::errc::file_too_large);
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    content.reserve(size);
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        // The file may grow while it is read: one byte past the limit tells a file that has
        // become too long from one that just fits.
        const std::size_t room = limit - content.size();
        const std::size_t wanted = room < buffer.size() ? room + 1 : buffer.size();
        ssize_t got = ::read(fd, buffer.data(), wanted);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = lastError();
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        content.append(buffer.data(), static_cast<std::size_t>(got));
        if (content.size() > limit) {
            error = std::make_error_code(std::errc::file_too_large);
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return content;
}

std::error_code AtomicFile::write(const fs::path& file, std::string_view bytes,
                                  fs::perms permissions) {
    const fs::path folder = file.parent_path();
    if (auto error = makeFolders(folder)) return error;

    // Named apart from `file`: a name near the file system's limit must not become too long.
    std::string temporary = (folder / ".pexmora-write-XXXXXX").string();
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return lastError();

    std::error_code error;
    if (::fchmod(fd, static_cast<mode_t>(permissions)) != 0 || !writeAll(fd, bytes) ||
        ::fsync(fd) != 0) {
        error = lastError();
    }
    if (::close(fd) != 0 && !error) error = lastError();
    if (!error && ::rename(temporary.c_str(), file.c_str()) != 0) error = lastError();
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(folder);
    return {};
}

namespace {
// The umask the process was started with, once makeNewFilesPrivate() replaced it; -1 before.
std::atomic<int> startedUmask{-1};
}  // namespace

void AtomicFile::makeNewFilesPrivate() {
    const mode_t started = ::umask(077);
    int expected = -1;
    startedUmask.compare_exchange_strong(expected, static_cast<int>(started));
}

fs::perms AtomicFile::userFilePermissions() {
    if (const int started = startedUmask.load(); started >= 0)
        return static_cast<fs::perms>(0666 & ~static_cast<mode_t>(started));
    // The kernel reports the umask without changing it; umask(2) could only be read by
    // setting it, which would race with other threads creating files.
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return static_cast<fs::perms>(0666 & ~mask);
}

std::string AtomicFile::timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

std::optional<fs::path> AtomicFile::moveAside(const fs::path& file, const std::string& suffix,
                                              std::error_code& error) {
    error.clear();
    const std::string base = file.string() + suffix;
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        std::string target = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            return fs::path(target);
        }
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) {
            error = lastError();
            return std::nullopt;
        }
        // The file system cannot refuse to replace: a hard link fails on an existing name.
        if (::link(file.c_str(), target.c_str()) == 0) {
            ::unlink(file.c_str());
            return fs::path(target);
        }
        if (errno == EEXIST) continue;
        error = lastError();
        return std::nullopt;
    }
    error = std::make_error_code(std::errc::file_exists);
    return std::nullopt;
}

}  // namespace pex
