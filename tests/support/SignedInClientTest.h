#pragma once
// The demo account signed in against the local stand-in service (HTTP on 127.0.0.1, a free
// port): a fresh settings store holding the account's token and the service client pointed at
// the stand-in. A test that installs more on the service client removes it in its own
// destructor after MainQueue::drain(), so that replies still queued find it in place.
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "service/ApiBaseURL.h"
#include "service/SettingsStore.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"
#include "support/TestSupport.h"

namespace pex::test {

class SignedInClientTest : public IsolatedTest {
  protected:
    static constexpr const char* kPhone = "13800138000";

    SignedInClientTest() {
        MainQueue::adoptCurrentThreadAsMain();
        service_.start();
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        setApiBaseURL(service_.apiBase());
        SettingsStore::set(SettingsKeys::loginToken, service_.state().issueToken(kPhone));
    }
    ~SignedInClientTest() override {
        MainQueue::drain();
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
    }

    standin::StandinService service_;
};

}  // namespace pex::test
