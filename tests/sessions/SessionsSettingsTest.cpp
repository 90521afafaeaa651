#include "sessions/SessionsSettings.h"

#include <future>

#include <gtest/gtest.h>

#include "../beacon-core/LogCapture.h"
#include "SessionsTestSupport.h"
#include "platform/foundation/Clock.h"
#include "sessions/SettingsDownloader.h"
#include "standin-service/StandinService.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using Kind = SettingsDownloaderError::Kind;
constexpr double kNow = 700'000'000;  // seconds since 2001

// Answers every fetch with `result` and counts them.
class ScriptedDownloader : public SettingsDownloadClient {
  public:
    Result result = nlohmann::json{{"app_quality", {{"sessions_enabled", false}}}};
    int fetches = 0;
    void fetch(Completion completion) override {
        ++fetches;
        completion(result);
    }
};

class SessionsSettingsTest : public test::IsolatedTest {
  protected:
    SessionsSettingsTest() { UTLUserDefaults::standardUserDefaults().removeObjectForKey("x"); }

    // A cache stored at `createdAt` for `appID` and `version`.
    void storeCache(const nlohmann::json& content, double createdAt,
                    const std::string& appID = "1:123:macos:abc",
                    const std::string& version = "2.1 (57)") {
        SettingsCache cache;
        cache.setCacheContent(content);
        cache.setCacheKey({createdAt, appID, version});
    }
    std::unique_ptr<RemoteSettings> remote() {
        return std::make_unique<RemoteSettings>(app, downloader);
    }
    SessionsSettings settings(nlohmann::json local) {
        return SessionsSettings(std::make_unique<LocalOverrideSettings>([local] { return local; }),
                                remote(), [] { return kNow; });
    }

    std::shared_ptr<test::FakeAppInfo> app = std::make_shared<test::FakeAppInfo>();
    std::shared_ptr<ScriptedDownloader> downloader = std::make_shared<ScriptedDownloader>();
};

TEST_F(SessionsSettingsTest, EachValueComesFromTheFirstSourceThatHasItWithTheRightType) {
    struct Case {
        const char* name;
        nlohmann::json local;
        nlohmann::json remote;
        bool enabled;
        double timeout;
        double rate;
    };
    const Case cases[] = {
        {"defaults", nlohmann::json::object(), nlohmann::json::object(), true, 1800, 1.0},
        {"local false beats remote true",
         {{"BeaconSessionsEnabled", false}},
         {{"sessions_enabled", true}},
         false,
         1800,
         1.0},
        {"remote when no local",
         nlohmann::json::object(),
         {{"sessions_enabled", false}, {"session_timeout_seconds", 60}, {"sampling_rate", 0.25}},
         false,
         60,
         0.25},
        {"local numbers win",
         {{"BeaconSessionsTimeout", 10}, {"BeaconSessionsSampingRate", 0}},
         {{"session_timeout_seconds", 60}, {"sampling_rate", 0.25}},
         true,
         10,
         0},
        {"a string rate is ignored",
         nlohmann::json::object(),
         {{"sampling_rate", "0.2"}, {"sessions_enabled", "false"}},
         true,
         1800,
         1.0},
        {"wrongly typed locals count as absent",
         {{"BeaconSessionsEnabled", "NO"}, {"BeaconSessionsTimeout", true}},
         {{"sessions_enabled", false}, {"session_timeout_seconds", 5}},
         false,
         5,
         1.0},
    };
    for (const Case& c : cases) {
        storeCache({{"app_quality", c.remote}}, kNow);
        const SessionsSettings values = settings(c.local);
        EXPECT_EQ(values.sessionsEnabled(), c.enabled) << c.name;
        EXPECT_EQ(values.sessionTimeout(), c.timeout) << c.name;
        EXPECT_EQ(values.samplingRate(), c.rate) << c.name;
    }
}

TEST_F(SessionsSettingsTest, TheCacheExpiresByAgeAppIDAndVersion) {
    const nlohmann::json content = {{"app_quality", {{"sessions_enabled", false}}}};
    struct Case {
        const char* name;
        double age;
        std::string appID;
        std::string version;
        nlohmann::json extra;
        bool stale;
        bool kept;
    };
    const Case cases[] = {
        {"exactly one hour", 3600, "1:123:macos:abc", "2.1 (57)", {}, false, true},
        {"half a second more", 3600.5, "1:123:macos:abc", "2.1 (57)", {}, true, true},
        {"another app ID", 0, "1:999:macos:zzz", "2.1 (57)", {}, true, false},
        {"another version", 0, "1:123:macos:abc", "2.0 (56)", {}, true, true},
        {"its own duration",
         11,
         "1:123:macos:abc",
         "2.1 (57)",
         {{"cache_duration", 10}},
         true,
         true},
    };
    for (const Case& c : cases) {
        nlohmann::json stored = content;
        stored.update(c.extra.is_object() ? c.extra : nlohmann::json::object());
        storeCache(stored, kNow - c.age, c.appID, c.version);
        auto source = remote();
        EXPECT_EQ(source->isSettingsStale(kNow), c.stale) << c.name;
        // A kept cache is still in use until a download replaces it.
        EXPECT_EQ(source->sessionsEnabled(), c.kept ? std::optional(false) : std::nullopt)
            << c.name;
        EXPECT_EQ(SettingsCache().cacheKey().has_value(), c.kept) << c.name;
    }
}

TEST_F(SessionsSettingsTest, AMissingOrBrokenKeyRemovesTheCache) {
    storeCache({{"app_quality", {{"sessions_enabled", false}}}}, kNow);
    UTLUserDefaults::standardUserDefaults().setObject(PropertyList(std::string("{}")),
                                                      SettingsCache::kCacheKeyKey);
    test::LogCapture log;
    EXPECT_TRUE(remote()->isSettingsStale(kNow));
    EXPECT_EQ(SettingsCache().cacheContent(), nlohmann::json::object());
    const auto lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("[Settings] Could not load settings cache key"), std::string::npos);
}

TEST_F(SessionsSettingsTest, AnUpdateDownloadsOnlyWhenStaleAndStoresWithAFreshKey) {
    SessionsSettings values = settings(nlohmann::json::object());
    values.updateSettings();  // nothing cached: download
    EXPECT_EQ(downloader->fetches, 1);
    EXPECT_FALSE(values.sessionsEnabled());
    EXPECT_EQ(SettingsCache().cacheKey(), (CacheKey{kNow, "1:123:macos:abc", "2.1 (57)"}));
    values.updateSettings();  // fresh now
    EXPECT_EQ(downloader->fetches, 1);

    // A failed download keeps what was stored.
    storeCache({{"app_quality", {{"sampling_rate", 0.5}}}}, kNow - 4000);
    downloader->result = SettingsDownloaderError{Kind::JSONParseError, "nope"};
    test::LogCapture log;
    values.updateSettings();
    EXPECT_EQ(downloader->fetches, 2);
    EXPECT_EQ(values.samplingRate(), 0.5);
    EXPECT_EQ(SettingsCache().cacheKey()->createdAt, kNow - 4000);
    const auto lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(
                  "[Settings] Fetching newest settings failed with error: JSONParseError(nope)"),
              std::string::npos);
}

// Passes fetches on and says when the receiver has handled the result.
class HandledDownloader : public SettingsDownloadClient {
  public:
    HandledDownloader(std::shared_ptr<SettingsDownloadClient> inner,
                      std::shared_ptr<std::promise<void>> handled)
        : inner_(std::move(inner)), handled_(std::move(handled)) {}
    void fetch(Completion completion) override {
        inner_->fetch([completion, handled = handled_](Result result) {
            completion(std::move(result));
            handled->set_value();
        });
    }

  private:
    std::shared_ptr<SettingsDownloadClient> inner_;
    std::shared_ptr<std::promise<void>> handled_;
};

// The download against the stand-in's settings path, over real HTTP.
class SettingsDownloaderTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        ASSERT_NE(service.start(), 0);
        SettingsDownloader::setOriginForTesting(service.origin());
        service.addPath("GET", "/spi/v2/platforms/*", [this](const standin::Call&) {
            std::lock_guard guard(replyLock);
            return reply;
        });
    }
    void TearDown() override {
        SettingsDownloader::setOriginForTesting(std::nullopt);
        service.stop();
    }
    void answer(standin::Reply next) {
        std::lock_guard guard(replyLock);
        reply = std::move(next);
    }
    SettingsDownloadClient::Result fetch() {
        std::promise<SettingsDownloadClient::Result> result;
        downloader->fetch(
            [&](SettingsDownloadClient::Result r) { result.set_value(std::move(r)); });
        return result.get_future().get();
    }

    standin::StandinService service;
    std::mutex replyLock;
    standin::Reply reply = standin::Reply::json(200, {{"app_quality", {{"sampling_rate", 0.5}}}});
    std::shared_ptr<test::FakeAppInfo> app = std::make_shared<test::FakeAppInfo>();
    std::shared_ptr<test::FakeInstallations> installations =
        std::make_shared<test::FakeInstallations>();
    std::shared_ptr<SettingsDownloader> downloader =
        std::make_shared<SettingsDownloader>(app, installations);
};

TEST_F(SettingsDownloaderTest, TheRequestCarriesThePlatformTheVersionsAndSixHeaders) {
    const auto result = fetch();
    ASSERT_TRUE(std::holds_alternative<nlohmann::json>(result));
    EXPECT_EQ(std::get<nlohmann::json>(result)["app_quality"]["sampling_rate"], 0.5);

    const auto requests = service.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/spi/v2/platforms/macos/apps/1:123:macos:abc/settings");
    EXPECT_EQ(requests[0].query, "build_version=57&display_version=2.1");
    EXPECT_EQ(requests[0].header("Accept"), "application/json");
    EXPECT_EQ(requests[0].header("X-CrashReporter-Installation-ID"), "installation-1");
    EXPECT_EQ(requests[0].header("X-CrashReporter-API-Client-Version"), "12.7.0");
    EXPECT_FALSE(requests[0].header("Authorization"));

    const URLRequest request = downloader->makeRequest("https://h/x", "id");
    std::vector<std::string> names;
    for (const auto& header : request.headers) names.push_back(header.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "Accept", "X-CrashReporter-Installation-ID", "X-CrashReporter-Device-Model",
                  "X-CrashReporter-OS-Build-Version", "X-CrashReporter-OS-Display-Version",
                  "X-CrashReporter-API-Client-Version"}));
    EXPECT_EQ(request.timeoutInterval, std::chrono::seconds(60));
}

TEST_F(SettingsDownloaderTest, OnlyASuccessfulReplyWithAJsonObjectCounts) {
    struct Case {
        const char* name;
        standin::Reply reply;
        Kind kind;
    };
    const Case cases[] = {
        {"a JSON error page", standin::Reply::json(500, {{"error", "internal"}}),
         Kind::URLSessionError},
        {"not found", standin::Reply::json(404, {{"error", "no such app"}}), Kind::URLSessionError},
        {"a JSON array", standin::Reply::json(200, nlohmann::json::array({1, 2})),
         Kind::JSONParseError},
        {"HTML", standin::Reply::text(200, "<html></html>", "text/html"), Kind::JSONParseError},
        {"no body", standin::Reply::text(200, ""), Kind::JSONParseError},
    };
    for (const Case& c : cases) {
        answer(c.reply);
        const auto result = fetch();
        ASSERT_TRUE(std::holds_alternative<SettingsDownloaderError>(result)) << c.name;
        EXPECT_EQ(std::get<SettingsDownloaderError>(result).kind, c.kind) << c.name;
    }
}

TEST_F(SettingsDownloaderTest, AnErrorPageDoesNotReplaceGoodSettings) {
    SettingsCache().setCacheContent({{"app_quality", {{"sessions_enabled", false}}}});
    SettingsCache().setCacheKey({kNow - 4000, app->appIDValue, app->synthesizedVersion()});
    answer(standin::Reply::json(503, {{"error", "maintenance"}}));
    auto handled = std::make_shared<std::promise<void>>();
    RemoteSettings remote(app, std::make_shared<HandledDownloader>(downloader, handled));
    remote.updateSettings(kNow);
    handled->get_future().wait();
    EXPECT_EQ(service.requests().size(), 1u);
    EXPECT_EQ(remote.sessionsEnabled(), false);
    EXPECT_EQ(SettingsCache().cacheKey()->createdAt, kNow - 4000);
}

TEST_F(SettingsDownloaderTest, AFailedInstallationLookupSendsNothing) {
    installations->id.reset();
    installations->idError = Error::make("installations", 2, {{Error::kDescriptionKey, "offline"}});
    const auto result = fetch();
    ASSERT_TRUE(std::holds_alternative<SettingsDownloaderError>(result));
    EXPECT_EQ(std::get<SettingsDownloaderError>(result).kind, Kind::InstallationIDError);
    EXPECT_EQ(std::get<SettingsDownloaderError>(result).text, "offline");
    EXPECT_TRUE(service.requests().empty());
}

TEST_F(SettingsDownloaderTest, AReplyThatNeverEndsFailsAtTheDeadline) {
    ScopedManualClock clock;
    service.setFault("/spi/v2/platforms/*", standin::Fault::slow(std::chrono::minutes(10)));
    std::promise<SettingsDownloadClient::Result> result;
    auto done = result.get_future();
    downloader->fetch([&](SettingsDownloadClient::Result r) { result.set_value(std::move(r)); });
    ASSERT_TRUE(test::runMainUntil([&] { return service.requests().size() == 1; }));
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    clock.clock().advance(std::chrono::seconds(60));
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto outcome = done.get();
    ASSERT_TRUE(std::holds_alternative<SettingsDownloaderError>(outcome));
    EXPECT_EQ(std::get<SettingsDownloaderError>(outcome).kind, Kind::URLSessionError);
}

}  // namespace
}  // namespace pex
