#pragma once
// A signed-in client talking to the local stand-in service over HTTP on 127.0.0.1, with a
// fresh settings store and standard folders, and a presenter that records the service
// client's alerts instead of showing them.
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "purchase/ConsoleCapture.h"
#include "service/ApiBaseURL.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"
#include "support/TestSupport.h"

namespace pex::test {

class RecordingAlertPresenter : public ServiceAlertPresenter {
  public:
    void presentAlert(const std::string& message, const std::string&) override {
        messages.push_back(message);
    }
    std::vector<std::string> messages;
};

class PageFixture : public IsolatedTest {
  protected:
    static constexpr const char* kPhone = "13800138000";

    PageFixture() {
        MainQueue::adoptCurrentThreadAsMain();
        service_.start();
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        setApiBaseURL(service_.apiBase());
        SettingsStore::set(SettingsKeys::loginToken, service_.state().issueToken(kPhone));
        HttpDatas::shared().setAlertPresenter(alerts_);
    }
    ~PageFixture() override {
        MainQueue::drain();
        HttpDatas::shared().setAlertPresenter(nullptr);
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
    }

    // The service client writes "🚀url:" for every request it sends, and one of the other two
    // lines for every reply just before it calls the completion, in the same main-queue turn.
    int sentRequests() const { return console_.linesStartingWith("🚀url:"); }
    int handledReplies() const {
        return console_.linesStartingWith("🍺result:") + console_.linesStartingWith("请求错误");
    }
    // Waits until every request sent so far has had its reply handled (completions run).
    bool settleReplies() {
        return runMainUntil([&] { return handledReplies() >= sentRequests(); });
    }

    ConsoleCapture console_;
    standin::StandinService service_;
    std::shared_ptr<RecordingAlertPresenter> alerts_ = std::make_shared<RecordingAlertPresenter>();
};

}  // namespace pex::test
