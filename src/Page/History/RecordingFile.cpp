#include "Page/History/RecordingFile.h"

#include "platform/foundation/StandardFolders.h"

namespace pex {

std::optional<std::filesystem::path> recordingFilePath(const std::string& audioFileName) {
    if (audioFileName.empty() || audioFileName == "." || audioFileName == ".." ||
        audioFileName.find_first_of(std::string("/\\\0", 3)) != std::string::npos) {
        return std::nullopt;
    }
    return StandardFolders::documents() / (audioFileName + ".wav");
}

}  // namespace pex
