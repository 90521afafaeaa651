#pragma once
// This SDK installation's identity for one application object: its installation identifier
// (FID) and a valid auth token, and the deletion of the installation. Every app gets one
// instance, created eagerly by its component container (library "bcn-install"); the work is
// done by its ID controller. Completions run once, on the promise library's default queue,
// with errors of the "com.beacon.installations" domain.
//
//   BCNInstallations::installationsWithApp(*BCNApp::defaultApp())->installationIDWithCompletion(
//       [](std::optional<std::string> fid, ErrorRef error) { ... });
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "beacon-core/BCNComponent.h"
#include "beacon-core/BCNOptions.h"
#include "beacon-core/installations/BCNInstallationsAuthTokenResult.h"
#include "platform/foundation/Error.h"

namespace pex {

class BCNApp;
class BCNInstallationsIDController;

// The component protocol under which the container hands out the instance.
class BCNInstallationsInstanceProvider : public BCNComponentObject {};

class BCNInstallations : public BCNInstallationsInstanceProvider {
  public:
    static constexpr const char* kLibraryName = "bcn-install";
    // Name of the exceptions raised for options the component cannot work with.
    static constexpr const char* kExceptionName = "com.beacon.installations";
    static const BCNProtocol& instanceProviderProtocol();

    using IDCompletion = std::function<void(std::optional<std::string> identifier, ErrorRef)>;
    using AuthTokenCompletion =
        std::function<void(std::optional<BCNInstallationsAuthTokenResult> token, ErrorRef)>;
    using DeleteCompletion = std::function<void(ErrorRef)>;

    // The instance of `app`'s container.
    static std::shared_ptr<BCNInstallations> installationsWithApp(const BCNApp& app);
    // The default app's instance; raises when the default app is not configured.
    static std::shared_ptr<BCNInstallations> installations();

    // Builds the app's ID controller; raises for incomplete or malformed options.
    explicit BCNInstallations(const BCNApp& app);
    BCNInstallations(const BCNOptions& appOptions, const std::string& appName,
                     std::shared_ptr<BCNInstallationsIDController> installationsIDController,
                     bool prefetchAuthToken);

    void installationIDWithCompletion(IDCompletion completion);
    void authTokenWithCompletion(AuthTokenCompletion completion);
    void authTokenForcingRefresh(bool forceRefresh, AuthTokenCompletion completion);
    void deleteWithCompletion(DeleteCompletion completion);

    // Raise an Exception named "com.beacon.installations" listing what is wrong.
    static void validateAppOptions(const BCNOptions& appOptions,
                                   const std::optional<std::string>& appName);
    static void validateAPIKey(const std::optional<std::string>& APIKey);
    static void assertCompatibleIIDVersion();

    const BCNOptions& appOptions() const { return appOptions_; }
    const std::string& appName() const { return appName_; }
    const std::shared_ptr<BCNInstallationsIDController>& installationsIDController() const {
        return installationsIDController_;
    }

  private:
    const BCNOptions appOptions_;
    const std::string appName_;
    const std::shared_ptr<BCNInstallationsIDController> installationsIDController_;
};

}  // namespace pex
