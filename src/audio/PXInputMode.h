#pragma once
// Where a session's sound comes from.
namespace pex {

enum class PXInputMode {
    system,         // the computer's sound, through the loopback and the aggregate device
    microphone,     // a microphone (the initial mode)
    screenCapture,  // taken by a screen-capture recorder; no device changes
};

}  // namespace pex
