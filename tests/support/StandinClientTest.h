#pragma once
// A fresh settings store with the service client pointed at the local stand-in service (HTTP on
// 127.0.0.1, a free port) and its alerts recorded instead of shown. Tests that add set-up call
// these SetUp/TearDown around their own.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/DeploymentSettings.h"
#include "service/ApiBaseURL.h"
#include "service/HttpDatas.h"
#include "standin-service/StandinService.h"
#include "support/TestSupport.h"

namespace pex::test {

class RecordingAlerts : public ServiceAlertPresenter {
  public:
    void presentAlert(const std::string& message, const std::string&) override {
        messages.push_back(message);
    }
    std::vector<std::string> messages;
};

class StandinClientTest : public IsolatedTest {
  protected:
    void SetUp() override {
        ASSERT_NE(service_.start(), 0);
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        resetApiBaseURL();
        HttpDatas::shared().setAlertPresenter(alerts_);
    }
    void TearDown() override {
        HttpDatas::shared().setAlertPresenter(nullptr);
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
    }

    standin::StandinService service_;
    std::shared_ptr<RecordingAlerts> alerts_ = std::make_shared<RecordingAlerts>();
};

}  // namespace pex::test
