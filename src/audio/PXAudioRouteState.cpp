#include "audio/PXAudioRouteState.h"

#include <nlohmann/json.hpp>

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/StandardFolders.h"

namespace pex {
namespace fs = std::filesystem;

namespace {

constexpr const char* kOutput = "defaultOutput";
constexpr const char* kInput = "defaultInput";
constexpr const char* kAggregate = "createdAggregate";
// A file larger than this is not ours.
constexpr std::size_t kMaxFileSize = 64 * 1024;

std::optional<std::string> text(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

}  // namespace

fs::path PXAudioRouteState::defaultFile() {
    return StandardFolders::applicationSupport() / "audio-route.json";
}

std::optional<PXAudioRouteState> PXAudioRouteState::load(const fs::path& file) {
    std::error_code error;
    const auto bytes = AtomicFile::read(file, error, kMaxFileSize);
    if (!bytes) {
        if (error == std::errc::no_such_file_or_directory) return std::nullopt;
        return PXAudioRouteState{};
    }
    const auto json = nlohmann::json::parse(*bytes, nullptr, false);
    if (!json.is_object()) return PXAudioRouteState{};
    return PXAudioRouteState{text(json, kOutput), text(json, kInput), text(json, kAggregate)};
}

std::error_code PXAudioRouteState::save(const fs::path& file) const {
    nlohmann::json json = nlohmann::json::object();
    if (outputUID) json[kOutput] = *outputUID;
    if (inputUID) json[kInput] = *inputUID;
    if (aggregateUID) json[kAggregate] = *aggregateUID;
    return AtomicFile::write(file, json.dump() + "\n");
}

void PXAudioRouteState::remove(const fs::path& file) {
    std::error_code ignored;  // already gone is as good as removed
    fs::remove(file, ignored);
}

}  // namespace pex
