#pragma once
// The application's permission to record audio. Capture on Linux needs no permission of its
// own, so the system backend always reports `authorized`; tests install a fake that answers
// with any status. The backend in use is process-wide and read on the main thread.
#include <functional>
#include <memory>

namespace pex {

// Numbered as the system's statuses are; a value outside the four is possible and means
// "nothing known to this version".
enum class AuthorizationStatus : int {
    notDetermined = 0,
    restricted = 1,
    denied = 2,
    authorized = 3
};

class CaptureAuthorization {
  public:
    using AccessHandler = std::function<void(bool granted)>;

    virtual ~CaptureAuthorization() = default;
    virtual AuthorizationStatus authorizationStatusForAudio() = 0;
    // Asks the user (where the system asks at all); `handler` gets the answer later.
    virtual void requestAccessForAudio(AccessHandler handler) = 0;

    // The installed backend, or the system's when none is installed.
    static std::shared_ptr<CaptureAuthorization> current();
    // nullptr goes back to the system's backend.
    static void install(std::shared_ptr<CaptureAuthorization> backend);
};

}  // namespace pex
