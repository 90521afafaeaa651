// The road of a session start: the component built as the application builds it, a crash
// subscriber registering, the settings download and the event travelling through the
// transport's storage and uploader to the stand-in's telemetry endpoint, over real HTTP.
#include <algorithm>
#include <future>

#include <gtest/gtest.h>

#include "../BeaconTransport/TXPLibrary/TXPFakeComponents.h"
#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"
#include "BeaconTransport/cct/TXBUploader.h"
#include "BeaconTransport/cct/TXPEndpoints.h"
#include "SessionsTestSupport.h"
#include "sessions/BCNSESNanoPBHelpers.h"
#include "sessions/BCNSessionsDependencies.h"
#include "sessions/Sessions.h"
#include "sessions/SettingsDownloader.h"
#include "standin-service/StandinService.h"
#include "standin-service/TelemetryServer.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class CrashSubscriber : public BCNSessionsSubscriber {
  public:
    bool isDataCollectionEnabled() const override { return true; }
    SessionsSubscriberName sessionsSubscriberName() const override {
        return SessionsSubscriberName::CrashReporter;
    }
    void onSessionChanged(const BCNSessionDetails&) override {}
};

class SessionsEndToEndTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        ASSERT_NE(service.start(), 0);
        TXPEndpoints::setOriginForTesting(service.origin());
        SettingsDownloader::setOriginForTesting(service.origin());
        service.addPath("GET", "/spi/v2/platforms/*", [](const standin::Call&) {
            return standin::Reply::json(200, {{"app_quality", {{"sampling_rate", 1.0}}}});
        });
        registrar->registerStorage(storage, 1001);
        registrar->targetToStorage();
    }
    void TearDown() override {
        TXPEndpoints::setOriginForTesting(std::nullopt);
        SettingsDownloader::setOriginForTesting(std::nullopt);
    }

    static test::FakeApplication& application() {
        static auto* shared = new test::FakeApplication;
        return *shared;
    }

    standin::StandinService service;
    standin::TelemetryServer telemetry{service};
    test::TempDir dir;
    std::shared_ptr<TXPFlatFileStorage> storage = TXPFlatFileStorage::make(dir.path());
    std::shared_ptr<TXPRegistrar> registrar = TXPRegistrar::make();
    std::shared_ptr<TXPTransformer> transformer =
        std::make_shared<TXPTransformer>(application(), registrar);
    std::shared_ptr<TXBUploader> uploader = TXBUploader::make(registrar);
};

TEST_F(SessionsEndToEndTest, TheStartEventReachesTheTelemetryEndpoint) {
    BCNSessionsDependencies::addDependencyWithName(SessionsSubscriberName::CrashReporter);
    auto installations = std::make_shared<test::FakeInstallations>();
    std::promise<SessionStartResult> logged;
    auto sessions =
        Sessions::make("1:123:macos:abc", installations,
                       TXPTransport::make(Sessions::kMappingID, {}, Sessions::kTarget, transformer),
                       [&](const SessionStartResult& result) { logged.set_value(result); });
    sessions->registerWithSubscriber(std::make_shared<CrashSubscriber>());
    const SessionStartResult result = logged.get_future().get();
    ASSERT_FALSE(result) << "the start failed: " << static_cast<int>(result->kind);

    uploader->uploadTarget(1001, TXPNetworkWifi | TXPUploadForced);
    std::promise<void> idle;
    uploader->whenIdle([&] { idle.set_value(); });
    idle.get_future().get();

    const auto uploads = telemetry.uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].path, "/telemetry/batchlog");
    ASSERT_TRUE(uploads[0].decoded);
    const auto batch =
        std::find_if(uploads[0].sourceBatches.begin(), uploads[0].sourceBatches.end(),
                     [](const auto& b) { return b.sourceID == 1974; });
    ASSERT_NE(batch, uploads[0].sourceBatches.end());
    ASSERT_EQ(batch->events.size(), 1u);

    // The payload is the session event itself.
    const std::string& payload = batch->events[0].payload;
    SessionEventMessage decoded;
    pb_istream_t stream =
        pb_istream_from_buffer(reinterpret_cast<const pb_byte_t*>(payload.data()), payload.size());
    ASSERT_TRUE(
        pb_decode(&stream, beacon_appquality_sessions_SessionEvent_fields, &decoded.proto()));
    const auto& event = decoded.proto();
    EXPECT_EQ(event.event_type, beacon_appquality_sessions_EventType_SESSION_START);
    EXPECT_EQ(BCNSESDecodeString(event.session_data.session_id), sessions->currentSessionId());
    EXPECT_EQ(event.session_data.session_index, 0);
    EXPECT_EQ(BCNSESDecodeString(event.session_data.beacon_installation_id), "installation-1");
    EXPECT_EQ(BCNSESDecodeString(event.session_data.beacon_authentication_token), "token-1");
    EXPECT_EQ(event.session_data.data_collection_status.crashreporter,
              beacon_appquality_sessions_DataCollectionState_COLLECTION_ENABLED);
    EXPECT_EQ(event.session_data.data_collection_status.session_sampling_rate, 1.0);
    EXPECT_EQ(BCNSESDecodeString(event.application_info.app_id), "1:123:macos:abc");
    EXPECT_EQ(event.application_info.which_platform_info, 6);

    // The settings were downloaded on the way, with the installation in the request.
    ASSERT_TRUE(
        test::runMainUntil([&] { return !service.requests("/spi/v2/platforms/*").empty(); }));
    const auto settingsRequests = service.requests("/spi/v2/platforms/*");
    EXPECT_EQ(settingsRequests[0].header("X-CrashReporter-Installation-ID"), "installation-1");
}

}  // namespace
}  // namespace pex
