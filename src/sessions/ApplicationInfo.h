#pragma once
// What the sessions component knows of the application, the machine and the network: the app
// ID, versions, device facts and the run environment.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

enum class RunEnvironment : int { production = 0, staging = 1, autopush = 2 };

class NetworkInfoProtocol {
  public:
    virtual ~NetworkInfoProtocol() = default;
    virtual int networkType() const = 0;
};

// Asks the platform's network facts.
class NetworkInfo : public NetworkInfoProtocol {
  public:
    int networkType() const override;
};

class ApplicationInfoProtocol {
  public:
    virtual ~ApplicationInfoProtocol() = default;
    virtual std::string appID() const = 0;
    virtual std::string sdkVersion() const = 0;
    // The platform's name ("macos").
    virtual std::string osName() const = 0;
    virtual std::string osDisplayVersion() const = 0;
    // Empty when the machine does not say.
    virtual std::string deviceModel() const = 0;
    virtual const NetworkInfoProtocol& networkInfo() const = 0;
    virtual RunEnvironment environment() const = 0;
    virtual std::string appBuildVersion() const = 0;    // "CFBundleVersion", else ""
    virtual std::string appDisplayVersion() const = 0;  // "CFBundleShortVersionString", else ""
    // "<display> (<build>)", the version that keys the settings cache.
    std::string synthesizedVersion() const {
        return appDisplayVersion() + " (" + appBuildVersion() + ")";
    }
};

class ApplicationInfo : public ApplicationInfoProtocol {
  public:
    static constexpr const char* kRunEnvironmentVariable = "BeaconSessionsRunEnvironment";

    // `envParams`: the process environment; `infoDict`: the main bundle's information
    // dictionary, none when the bundle has none.
    ApplicationInfo(std::string appID, std::shared_ptr<const NetworkInfoProtocol> networkInfo,
                    std::map<std::string, std::string> envParams,
                    std::optional<nlohmann::json> infoDict);

    // The running process's environment, as a map.
    static std::map<std::string, std::string> processEnvironment();
    // "staging" 1, "autopush" 2 (trimmed, any case); anything else, or none, 0.
    static RunEnvironment runEnvironmentFrom(const std::optional<std::string>& value);

    std::string appID() const override { return appID_; }
    std::string sdkVersion() const override;
    std::string osName() const override;
    std::string osDisplayVersion() const override;
    std::string deviceModel() const override;
    const NetworkInfoProtocol& networkInfo() const override { return *networkInformation_; }
    RunEnvironment environment() const override;
    std::string appBuildVersion() const override;
    std::string appDisplayVersion() const override;

  private:
    std::string infoString(const std::string& key) const;

    const std::string appID_;
    const std::shared_ptr<const NetworkInfoProtocol> networkInformation_;
    const std::map<std::string, std::string> envParams_;
    const std::optional<nlohmann::json> infoDict_;
};

}  // namespace pex
