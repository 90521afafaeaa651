#pragma once
// Shared set-up of the login tests: a fresh settings store, the stand-in service on a free
// port with every host pointed at it, the manual clock, recorded alerts, and helpers to wait
// for what the service received.
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Main/WindowFactory.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "service/ApiBaseURL.h"
#include "service/HttpDatas.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"
#include "support/StandinClientTest.h"
#include "support/TestSupport.h"

namespace pex::test {

class LoginFixture : public StandinClientTest {
  protected:
    // A login turns its window into the main window: the shell's contents are needed.
    LoginFixture() { WindowFactory::install(); }

    void TearDown() override {
        closeAllWindows();
        StatusHUD::shared().hide(false);
        ApplicationWindows::setDelegateWindow(nullptr);
        StandinClientTest::TearDown();
    }

    static void closeAllWindows() {
        for (QWidget* window : QApplication::topLevelWidgets()) window->close();
        settle();
    }

    // Runs what is due on the main queue (and deferred deletions) without moving time.
    static void settle() {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }

    // Moves the manual clock on and runs what became due.
    void advance(Clock::Duration by) {
        clock_.clock().advance(by);
        settle();
    }

    std::vector<standin::RecordedRequest> requests(const std::string& route) const {
        return service_.requests(route);
    }
    // Waits until the service has received `count` requests on `route`; answers the last.
    standin::RecordedRequest waitForRequest(const std::string& route, std::size_t count = 1) {
        EXPECT_TRUE(runMainUntil([&] { return requests(route).size() >= count; })) << route;
        const auto received = requests(route);
        return received.empty() ? standin::RecordedRequest{} : received.back();
    }
    // Waits until the service-error or transport alert of a failed request was shown (it comes
    // 0.25 s after the completion ran, so the completion is over by then).
    void waitForAlert(std::size_t count = 1) {
        EXPECT_TRUE(runMainUntil([&] {
            clock_.clock().advance(HttpDatas::kAlertDelay);
            return alerts_->messages.size() >= count;
        }));
    }

    // The shared HUD's text while it shows, else "".
    static QString hudText() {
        StatusHUD& hud = StatusHUD::shared();
        return hud.isHidden() || !hud.statusLabel() ? QString() : hud.statusLabel()->text();
    }

    ScopedManualClock clock_;
};

}  // namespace pex::test
