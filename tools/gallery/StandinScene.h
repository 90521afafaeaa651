#pragma once
// What the gallery's pages that talk to the service stand on: a stand-in service started for
// one picture, the deployment settings and the API base pointed at it, and the settings store
// and the standard folders moved to a temporary folder, so that nothing of the user's is read
// or written. Everything is put back when the scene ends.
#include <QTemporaryDir>
#include <filesystem>
#include <functional>

#include "standin-service/StandinService.h"

namespace pex::gallery {

class StandinScene {
  public:
    // Throws std::runtime_error when the folder or the service cannot be had.
    StandinScene();
    ~StandinScene();
    StandinScene(const StandinScene&) = delete;
    StandinScene& operator=(const StandinScene&) = delete;

    standin::StandinService& service() { return service_; }

  private:
    std::filesystem::path previousRoot_;
    QTemporaryDir folder_;
    standin::StandinService service_;
};

// Runs the event loop until `done`, in real time: replies come over the network. Throws
// std::runtime_error naming `what` after ten seconds.
void waitFor(const std::function<bool()>& done, const char* what);

}  // namespace pex::gallery
