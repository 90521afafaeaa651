#pragma once
// The microphone permission check made before a microphone session starts. It never waits:
// a missing permission is shown in a short error message, an undecided one is also asked of
// the system, and the session starts whatever the answer. Main thread only.
namespace pex {

class MicroManagement {
  public:
    MicroManagement() = delete;

    static void checkMicrophoneAuthorization();
};

}  // namespace pex
