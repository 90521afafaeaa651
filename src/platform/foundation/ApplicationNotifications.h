#pragma once
// Names of the application's life-cycle notifications on the default notification centre.
// The application layer posts them (from its UI toolkit's state changes); code without a UI
// toolkit, such as the telemetry client, observes them.
namespace pex {

inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "ApplicationDidBecomeActiveNotification";

}  // namespace pex
