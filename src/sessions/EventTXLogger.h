#pragma once
// The two event loggers: one hands the session start event to the telemetry transport, the
// other prints it for developers who launch with "-BCNSessionsDebugEvents".
#include <functional>
#include <memory>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPTransport.h"
#include "platform/foundation/Error.h"
#include "sessions/SessionStartEvent.h"

namespace pex {

class EventTXLoggerProtocol {
  public:
    // Null on success.
    using Completion = std::function<void(ErrorRef error)>;
    virtual ~EventTXLoggerProtocol() = default;
    virtual void logEvent(std::shared_ptr<const SessionStartEvent> event,
                          Completion completion) = 0;
};

class BeaconTransportProtocol {
  public:
    virtual ~BeaconTransportProtocol() = default;
    virtual TXPEvent eventForTransport() = 0;
    virtual void sendDataEvent(const TXPEvent& event, TXPTransport::Completion onComplete) = 0;
};

// The one error of the transport wrapper: the event was not written, without a reason.
inline constexpr const char* kBeaconTransportProtocolErrorsDomain = "BeaconTransportProtocolErrors";
enum BeaconTransportProtocolErrors : int { writeFailure = 0 };

class BeaconTransporter : public BeaconTransportProtocol {
  public:
    explicit BeaconTransporter(std::shared_ptr<TXPTransport> transporter)
        : transporter_(std::move(transporter)) {}
    TXPEvent eventForTransport() override { return transporter_->eventForTransport(); }
    void sendDataEvent(const TXPEvent& event, TXPTransport::Completion onComplete) override {
        transporter_->sendDataEvent(event, std::move(onComplete));
    }

  private:
    std::shared_ptr<TXPTransport> transporter_;
};

// Prints the event when the process was launched with `commandLineArgument` as one argument
// exactly; never calls its completion.
class DevEventConsoleLogger : public EventTXLoggerProtocol {
  public:
    explicit DevEventConsoleLogger(std::string commandLineArgument)
        : commandLineArgument_(std::move(commandLineArgument)) {}
    void logEvent(std::shared_ptr<const SessionStartEvent> event, Completion completion) override;

  private:
    const std::string commandLineArgument_;
};

class EventTXLogger : public EventTXLoggerProtocol {
  public:
    EventTXLogger(std::shared_ptr<BeaconTransportProtocol> beaconDataTransport,
                  std::shared_ptr<EventTXLoggerProtocol> devEventConsoleLogger)
        : beaconDataTransport_(std::move(beaconDataTransport)),
          devEventConsoleLogger_(std::move(devEventConsoleLogger)) {}
    // Sends the event at the standard tier; the completion runs on the transport's thread.
    void logEvent(std::shared_ptr<const SessionStartEvent> event, Completion completion) override;

  private:
    const std::shared_ptr<BeaconTransportProtocol> beaconDataTransport_;
    const std::shared_ptr<EventTXLoggerProtocol> devEventConsoleLogger_;
};

}  // namespace pex
