#include "crashreporter/rollouts/CRSRolloutsPersistenceManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {

namespace {

// A report identifier is one folder name: nothing that leads out of the active folder.
bool isFolderName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace

CRSRolloutsPersistenceManager::CRSRolloutsPersistenceManager(
    std::shared_ptr<const CRSFileManager> fileManager, DispatchQueue queue)
    : fileManager_(std::move(fileManager)), queue_(std::move(queue)) {}

void CRSRolloutsPersistenceManager::updateRolloutsStateToPersistenceWithRollouts(
    const std::string& rollouts, const std::string& reportID) {
    if (!fileManager_ || !isFolderName(reportID)) {
        CRSDebugLog("Refusing to write rollouts for report '" + reportID + "'");
        return;
    }
    const std::string path =
        (std::filesystem::path(fileManager_->activePath()) / reportID / kCRSRolloutsFileName)
            .string();
    // One write of the whole line: an appending writer never splits it among others.
    queue_.async([path, line = rollouts + "\n"] {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            CRSDebugLog("Could not create rollouts.clsrecord file. Error was code: " +
                        std::to_string(error) + " - message: " + std::strerror(error));
            return;
        }
        if (!writeAll(fd, line)) CRSDebugLog("Could not append to " + path);
        ::close(fd);
    });
}

void CRSRolloutsPersistenceManager::debugLogWithMessage(const std::string& message) {
    CRSDebugLog(message);
}

}  // namespace pex
