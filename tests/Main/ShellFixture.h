#pragma once
// The application shell against the local stand-in service over real HTTP on 127.0.0.1: a
// fresh settings store, the service client pointed at the stand-in, the real 401 handler and a
// recording alert presenter; every window is gone again after each test.
#include <QApplication>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Main/WindowFactory.h"
#include "Tools/ContentWindow.h"
#include "Tools/MainMenu.h"
#include "Tools/SessionExpiryWindows.h"
#include "Tools/WindowLifecycle.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "service/ApiBaseURL.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"
#include "support/StandinClientTest.h"
#include "support/TestSupport.h"

namespace pex::test {

class ShellTest : public StandinClientTest {
  protected:
    static constexpr const char* kPhone = standin::StandinState::kDemoPhone;

    void SetUp() override {
        MainQueue::adoptCurrentThreadAsMain();
        StandinClientTest::SetUp();
        if (HasFatalFailure()) return;
        WindowFactory::install();
        HttpDatas::shared().setSessionExpiryHandler(std::make_shared<SessionExpiryWindows>());
    }

    void TearDown() override {
        // Requests still under way end (their completions guard what they touch) before the
        // stand-in goes.
        runMainUntil([] { return false; }, std::chrono::milliseconds(50));
        closeEverything();
        HttpDatas::shared().setSessionExpiryHandler(nullptr);
        StandinClientTest::TearDown();
    }

    static void closeEverything() {
        MainMenu::setCurrent(nullptr);
        ApplicationWindows::setDelegateWindow(nullptr);
        QList<QPointer<QWidget>> windows;
        for (QWidget* window : QApplication::topLevelWidgets()) windows.append(window);
        for (const QPointer<QWidget>& window : windows) delete window.data();
        settle();
    }

    // Runs what is due now, deferred deletions included.
    static void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Signs the demo account in as a login would, with "isAutoLogin" as given.
    std::string signIn(std::optional<bool> autoLogin = std::nullopt) {
        const std::string token = service_.state().issueToken(kPhone);
        SettingsStore::set(SettingsKeys::loginToken, token);
        UserBaseModel user;
        user.phone = kPhone;
        user.nick_name = "演示用户";
        SettingsStore::setRecord(std::optional<UserBaseModel>(user),
                                 DefaultsKey<UserBaseModel>(UserBaseModel::kSettingsKey));
        if (autoLogin) SettingsStore::set(SettingsKeys::isAutoLogin, *autoLogin);
        return token;
    }

    static std::vector<ContentWindow*> visibleWindows() {
        std::vector<ContentWindow*> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<ContentWindow*>(widget);
            if (window && window->isVisible()) found.push_back(window);
        }
        return found;
    }

    static int visibleTopLevelCount() {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowType() != Qt::Popup) ++count;
        }
        return count;
    }

    // Waits until the stand-in has answered `count` requests to `route`.
    bool waitForRequests(const std::string& route, std::size_t count) {
        return runMainUntil([&] { return service_.requests(route).size() >= count; });
    }
};

}  // namespace pex::test
