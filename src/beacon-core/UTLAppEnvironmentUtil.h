#pragma once
// Facts about the running application and machine that the SDK reports and acts on. On this
// platform an application never comes from the App Store (there are no store receipts), the
// device model is the firmware's product name (else the machine type), and the system
// version is the kernel release in "major.minor[.patch]" form.
#include <optional>
#include <string>
#include <string_view>

namespace pex {

class UTLAppEnvironmentUtil {
  public:
    static bool isFromAppStore();
    static bool isAppStoreReceiptSandbox();
    static bool isSimulator() { return false; }
    // The kernel parameter `name` in dotted form ("kernel.osrelease"); none when it does not
    // exist, is empty or the name is not a plain dotted name.
    static std::optional<std::string> getSysctlEntry(const std::string& name);
    // Read once.
    static std::string deviceModel();
    static std::string deviceSimulatorModel();
    static std::string systemVersion();
    static bool isAppExtension() { return false; }
    static bool isAppClip() { return false; }
    static bool supportsBackgroundURLSessionUploads() { return !isAppExtension() && !isAppClip(); }
    static std::string applePlatform() { return "macos"; }
    static std::string appleDevicePlatform() { return applePlatform(); }
    static std::string deploymentType() { return "swiftpm"; }

    // "6.1.0-18-amd64" → "6.1"; "5.15.133.1-x" → "5.15.133": major and minor, then the patch
    // when it is not 0. Missing numbers count as 0.
    static std::string systemVersionFromRelease(std::string_view release);
    // The product name when it holds more than blanks, else the machine type.
    static std::string deviceModelFrom(const std::optional<std::string>& productName,
                                       const std::string& machine);

    // Lets a test act as an App Store build; none restores the platform's answer.
    static void setFromAppStoreForTesting(std::optional<bool> fromAppStore);
};

class UTLNetworkInfo {
  public:
    static int getNetworkType() { return -1; }
    static std::string getNetworkRadioType() { return ""; }
};

}  // namespace pex
