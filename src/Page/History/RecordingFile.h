#pragma once
// Where a session's recording lies: "<audioFileName>.wav" in the user's Documents folder. A
// name that would reach outside that folder (empty, ".", "..", or holding a path separator or
// a NUL) has no recording file.
#include <filesystem>
#include <optional>
#include <string>

namespace pex {

std::optional<std::filesystem::path> recordingFilePath(const std::string& audioFileName);

}  // namespace pex
