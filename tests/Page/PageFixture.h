#pragma once
// A signed-in client talking to the local stand-in service over HTTP on 127.0.0.1, with a
// fresh settings store and standard folders, and a presenter that records the service
// client's alerts instead of showing them.
#include <memory>

#include "platform/foundation/MainQueue.h"
#include "purchase/ConsoleCapture.h"
#include "service/HttpDatas.h"
#include "support/SignedInClientTest.h"
#include "support/StandinClientTest.h"

namespace pex::test {

class PageFixture : public SignedInClientTest {
  protected:
    PageFixture() { HttpDatas::shared().setAlertPresenter(alerts_); }
    ~PageFixture() override {
        MainQueue::drain();
        HttpDatas::shared().setAlertPresenter(nullptr);
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
    std::shared_ptr<RecordingAlerts> alerts_ = std::make_shared<RecordingAlerts>();
};

}  // namespace pex::test
