#pragma once
// The parts of a report's metadata the report message carries, each read from one section of
// "metadata.clsrecord". A key that is missing (or not text) stays none.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

inline std::optional<std::string> CRSRecordText(const nlohmann::json& section, const char* key) {
    if (!section.is_object()) return std::nullopt;
    const auto found = section.find(key);
    if (found == section.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

struct CRSRecordIdentity {
    explicit CRSRecordIdentity(const nlohmann::json& section)
        : build_version(CRSRecordText(section, "build_version")),
          app_quality_session_id(CRSRecordText(section, "app_quality_session_id")) {}
    std::optional<std::string> build_version;
    std::optional<std::string> app_quality_session_id;
};

struct CRSRecordHost {
    explicit CRSRecordHost(const nlohmann::json& section)
        : platform(CRSRecordText(section, "platform")) {}
    std::optional<std::string> platform;
};

struct CRSRecordApplication {
    explicit CRSRecordApplication(const nlohmann::json& section)
        : build_version(CRSRecordText(section, "build_version")),
          display_version(CRSRecordText(section, "display_version")) {}
    std::optional<std::string> build_version;
    std::optional<std::string> display_version;
};

}  // namespace pex
