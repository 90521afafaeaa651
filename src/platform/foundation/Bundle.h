#pragma once
// The application's bundle information, read from the Info.plist installed beside the
// executable (short version, build version, identifier, display name), and the resources
// installed in the same folder (such as "BeaconService-Info.plist"). Plist values become
// JSON: dictionaries, arrays, texts, Booleans, numbers, data as a JSON binary, dates as
// seconds since 2001-01-01 (the property-list epoch).
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

class Bundle {
  public:
    // The bundle of the running executable, read once (or the one a test put in its place).
    static Bundle main();
    // Makes `main` read the Info.plist and resources of `folder`; none restores the real one.
    static void setMainForTesting(std::optional<std::filesystem::path> folder);
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

    // The folder of the bundle's resources; empty for a bundle made from values alone.
    const std::filesystem::path& resourceDirectory() const { return resources_; }
    // The resource file `name`.`type` (`type` may be empty), when it exists. A name that is not
    // a plain file name (empty, "..", or holding "/") finds nothing.
    std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                         const std::string& type) const;

    explicit Bundle(nlohmann::json info = nlohmann::json::object(),
                    std::filesystem::path resources = {})
        : info_(std::move(info)), resources_(std::move(resources)) {}

  private:
    nlohmann::json info_;
    std::filesystem::path resources_;
};

}  // namespace pex
