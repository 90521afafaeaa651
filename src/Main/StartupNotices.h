#pragma once
// What start-up found wrong with the user's stored data, told once, over the first window:
// the history database (damaged and replaced, or not usable at all) and a settings file that
// could not be read, which signed the user out. Each becomes one alert, modal to that window,
// shown after the one before it is answered. Main thread only.
#include <QString>
#include <optional>
#include <vector>

#include "platform/foundation/UserDefaults.h"
#include "service/GRDBDataManager.h"

class QWidget;

namespace pex {

struct StartupNotice {
    QString title;
    QString text;
    bool operator==(const StartupNotice&) const = default;
};

class StartupNotices {
  public:
    static std::vector<StartupNotice> collect(
        const std::optional<GRDBDataManager::OpeningProblem>& history,
        const std::optional<UserDefaults::UnreadableFile>& settings);
    // From the shared history database and the standard settings store.
    static std::vector<StartupNotice> current();
    // One alert per notice over `window`; nothing without a window.
    static void show(QWidget* window, std::vector<StartupNotice> notices);
};

}  // namespace pex
