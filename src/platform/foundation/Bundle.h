#pragma once
// The application's bundle information, read from the Info.plist installed beside the
// executable (short version, build version, identifier, display name). Plist values become
// JSON: dictionaries, arrays, texts, Booleans, numbers, data as a JSON binary, dates as
// seconds since 2001-01-01 (the property-list epoch).
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

class Bundle {
  public:
    // The bundle of the running executable, read once.
    static const Bundle& main();
    // Reads a property list file (XML or binary); a missing or unreadable file, or one whose
    // top level is not a dictionary, gives an empty bundle.
    static Bundle fromFile(const std::filesystem::path& plist);
    // Folder of the running executable.
    static std::filesystem::path executableDirectory();

    std::optional<std::string> string(const std::string& key) const;  // absent unless text
    std::optional<nlohmann::json> value(const std::string& key) const;
    std::string shortVersion() const;      // CFBundleShortVersionString, "" when absent
    std::string buildVersion() const;      // CFBundleVersion, "" when absent
    std::string bundleIdentifier() const;  // CFBundleIdentifier, "" when absent
    // CFBundleDisplayName, else CFBundleName, else "".
    std::string displayName() const;
    const nlohmann::json& info() const { return info_; }

    explicit Bundle(nlohmann::json info = nlohmann::json::object()) : info_(std::move(info)) {}

  private:
    nlohmann::json info_;
};

}  // namespace pex
