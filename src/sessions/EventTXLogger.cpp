#include "sessions/EventTXLogger.h"

#include "platform/foundation/ProcessInfo.h"
#include "sessions/SessionEventDescription.h"
#include "sessions/SessionsLogger.h"

namespace pex {

void DevEventConsoleLogger::logEvent(std::shared_ptr<const SessionStartEvent> event, Completion) {
    if (!event || !ProcessInfo::hasArgument(commandLineArgument_)) return;
    const auto decoded = event->decoded();
    sessionsLog(BCNLoggerLevelInfo, "Printing Session Event due to \"" + commandLineArgument_ +
                                        "\" command line argument\nSession Event:\n  event_type: " +
                                        describeSessionEvent(decoded->proto()));
}

void EventTXLogger::logEvent(std::shared_ptr<const SessionStartEvent> event,
                             Completion completion) {
    TXPEvent transportEvent = beaconDataTransport_->eventForTransport();
    transportEvent.setDataObject(event);
    transportEvent.setQosTier(TXPEventTierStandard);
    if (devEventConsoleLogger_) devEventConsoleLogger_->logEvent(event, nullptr);
    beaconDataTransport_->sendDataEvent(
        transportEvent, [completion = std::move(completion)](bool written, ErrorRef error) {
            if (!completion) return;
            if (error) {
                completion(std::move(error));
            } else if (!written) {
                completion(Error::make(kBeaconTransportProtocolErrorsDomain, writeFailure));
            } else {
                completion(nullptr);
            }
        });
}

}  // namespace pex
