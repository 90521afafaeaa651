#pragma once
// The application as the transport sees it: background-task grants (none on this platform),
// whether it runs in the background, and its termination turned into the transport's own
// notification.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/foundation/ApplicationNotifications.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

// Posted by the application when it is about to quit.
inline constexpr const char* TXPSystemApplicationWillTerminateNotification =
    kApplicationWillTerminateNotification;
// The transport's own lifecycle notifications.
inline constexpr const char* TXPApplicationDidEnterBackgroundNotification =
    "TXPApplicationDidEnterBackgroundNotification";
inline constexpr const char* TXPApplicationWillEnterForegroundNotification =
    "TXPApplicationWillEnterForegroundNotification";
inline constexpr const char* TXPApplicationWillTerminateNotification =
    "TXPApplicationWillTerminateNotification";

using TXPBackgroundIdentifier = std::uint64_t;
inline constexpr TXPBackgroundIdentifier TXPBackgroundIdentifierInvalid = 0;

class TXPApplicationProtocol {
  public:
    virtual ~TXPApplicationProtocol() = default;
    virtual TXPBackgroundIdentifier beginBackgroundTask(
        const std::string& name, std::function<void()> expirationHandler) = 0;
    virtual void endBackgroundTask(TXPBackgroundIdentifier identifier) = 0;
    virtual bool isRunningInBackground() const = 0;
};

class TXPApplication : public TXPApplicationProtocol {
  public:
    static TXPApplication& sharedApplication();

    TXPApplication();
    ~TXPApplication() override = default;

    // No object grants background time here, so the identifier is always the invalid 0.
    TXPBackgroundIdentifier beginBackgroundTask(const std::string& name,
                                                std::function<void()> expirationHandler) override;
    void endBackgroundTask(TXPBackgroundIdentifier identifier) override;
    bool isRunningInBackground() const override { return runningInBackground_; }
    void setIsRunningInBackground(bool background) { runningInBackground_ = background; }
    // True when the application's bundle folder ends in ".appex".
    bool isAppExtension() const;
    static bool isAppExtensionPath(const std::string& bundlePath);

    void macOSApplicationWillTerminate(const Notification& notification);

  private:
    std::atomic<bool> runningInBackground_{false};
    ScopedObserver terminateObserver_;
};

}  // namespace pex
