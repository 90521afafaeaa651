#include "crashreporter/reports/CRSSettings.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/ReportsFixture.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

const CRSSettingsBuildIdentity kBuild{"build-1", "2.4 (204)"};

class CRSSettingsTest : public test::ReportsTest {
  protected:
    void saveSettings(const std::string& json) { writeFile(manager_.settingsFilePath(), json); }
    bool settingsFilesExist() const {
        return fs::exists(manager_.settingsFilePath()) ||
               fs::exists(manager_.settingsCacheKeyPath());
    }
    // Settings saved and cached at `created` for the app "app-1" and the build `kBuild`.
    void cacheAt(const std::string& json, double created) {
        saveSettings(json);
        CRSSettings(manager_, kBuild).cacheSettingsWithBeaconAppID("app-1", created);
    }

    CRSFileManager manager_;
};

TEST_F(CRSSettingsTest, WithoutSettingsEveryAccessorGivesItsDefault) {
    CRSSettings settings(manager_, kBuild);
    settings.reloadFromCacheWithBeaconAppID("app-1", 1000);
    EXPECT_TRUE(settings.isCacheExpired());
    EXPECT_FALSE(settings.isCacheKeyExpired());
    EXPECT_EQ(settings.settingsDictionary(), std::nullopt);
    EXPECT_EQ(settings.cacheDurationSeconds(), 3600u);
    EXPECT_TRUE(settings.errorReportingEnabled());
    EXPECT_TRUE(settings.customExceptionsEnabled());
    EXPECT_TRUE(settings.collectReportsEnabled());
    EXPECT_FALSE(settings.metricKitCollectionEnabled());
    EXPECT_EQ(settings.logBufferSize(), 64000u);
    EXPECT_EQ(settings.errorLogBufferSize(), 64000u);
    EXPECT_EQ(settings.maxCustomExceptions(), 8u);
    EXPECT_EQ(settings.maxCustomKeys(), 64u);
    EXPECT_EQ(settings.onDemandUploadRate(), 10.0);
    EXPECT_EQ(settings.onDemandBackoffBase(), 1.5);
    EXPECT_EQ(settings.onDemandBackoffStepDuration(), 6u);
    EXPECT_TRUE(settings.onDemandThreadSuspensionEnabled());
}

TEST_F(CRSSettingsTest, ReadsEachKeyFromItsOwnPlace) {
    cacheAt(R"({"cache_duration": 60, "on_demand_upload_rate_per_minute": 2.5,
                "on_demand_backoff_base": 3, "on_demand_backoff_step_duration_seconds": 9,
                "on_demand_thread_recording_suspension_enabled": false,
                "features": {"collect_logged_exceptions": false, "collect_reports": false,
                             "collect_metric_kit": true,
                             "on_demand_backoff_base": 7},
                "session": {"log_buffer_size": 128, "max_custom_exception_events": "12",
                            "max_custom_key_value_pairs": 5.9},
                "app": {"status": "activated"}, "fabric": {"org_id": "o"}})",
            1000);
    CRSSettings settings(manager_, kBuild);
    settings.reloadFromCacheWithBeaconAppID("app-1", 1000);
    EXPECT_FALSE(settings.isCacheExpired());
    EXPECT_EQ(settings.cacheDurationSeconds(), 60u);
    EXPECT_FALSE(settings.errorReportingEnabled());
    EXPECT_FALSE(settings.customExceptionsEnabled());
    EXPECT_FALSE(settings.collectReportsEnabled());
    EXPECT_TRUE(settings.metricKitCollectionEnabled());
    EXPECT_EQ(settings.logBufferSize(), 128u);
    EXPECT_EQ(settings.errorLogBufferSize(), 128u);
    EXPECT_EQ(settings.maxCustomExceptions(), 12u);
    EXPECT_EQ(settings.maxCustomKeys(), 5u);
    EXPECT_EQ(settings.onDemandUploadRate(), 2.5);
    EXPECT_EQ(settings.onDemandBackoffBase(), 3.0) << "read at the top level only";
    EXPECT_EQ(settings.onDemandBackoffStepDuration(), 9u);
    EXPECT_FALSE(settings.onDemandThreadSuspensionEnabled());
    EXPECT_EQ(settings.appSettings(), nlohmann::json({{"status", "activated"}}));
    EXPECT_EQ(settings.fabricSettings(), nlohmann::json({{"org_id", "o"}}));

    // An on-demand key inside a section is not seen.
    cacheAt(R"({"features": {"on_demand_upload_rate_per_minute": 99}})", 1000);
    settings.reloadFromCacheWithBeaconAppID("app-1", 1000);
    EXPECT_EQ(settings.onDemandUploadRate(), 10.0);
    EXPECT_TRUE(settings.collectReportsEnabled());
    EXPECT_FALSE(settings.metricKitCollectionEnabled());
}

TEST_F(CRSSettingsTest, OnDemandValuesThatCannotBeUsedFallBackToTheirDefaults) {
    const struct {
        nlohmann::json rate, base, step;
        double expectedRate, expectedBase;
        std::uint32_t expectedStep;
    } cases[] = {
        {0, 0.5, 0, 10, 1.5, 6},
        {-3, -2, 0.4, 10, 1.5, 6},
        {std::nan(""), std::nan(""), 6, 10, 1.5, 6},
        {1e-3, std::numeric_limits<double>::infinity(), 1, 1e-3, 1.5, 1},
        {0.5, 1, 1, 0.5, 1, 1},
    };
    CRSSettings settings(manager_, kBuild);
    for (const auto& c : cases) {
        settings.setSettingsDictionary(
            nlohmann::json{{"on_demand_upload_rate_per_minute", c.rate},
                           {"on_demand_backoff_base", c.base},
                           {"on_demand_backoff_step_duration_seconds", c.step}});
        EXPECT_EQ(settings.onDemandUploadRate(), c.expectedRate) << c.rate;
        EXPECT_EQ(settings.onDemandBackoffBase(), c.expectedBase) << c.base;
        EXPECT_EQ(settings.onDemandBackoffStepDuration(), c.expectedStep) << c.step;
    }
}

TEST_F(CRSSettingsTest, ExpiresAfterTheCacheDurationOrOnANewBuildButKeepsTheValues) {
    struct Case {
        double now;
        CRSSettingsBuildIdentity build;
        bool expired;
    };
    const Case cases[] = {
        {1000, kBuild, false},
        {1060, kBuild, false},
        {1060.5, kBuild, true},
        {1001, {"build-2", kBuild.synthesizedVersion}, true},
        {1001, {kBuild.buildInstanceID, "2.5 (205)"}, true},
    };
    for (const Case& c : cases) {
        cacheAt(R"({"cache_duration": 60, "session": {"log_buffer_size": 100}})", 1000);
        CRSSettings settings(manager_, c.build);
        settings.reloadFromCacheWithBeaconAppID("app-1", c.now);
        EXPECT_EQ(settings.isCacheExpired(), c.expired) << c.now << " " << c.build.buildInstanceID;
        EXPECT_EQ(settings.logBufferSize(), 100u) << "an expired cache stays in force";
        EXPECT_TRUE(fs::exists(manager_.settingsFilePath()));
    }
}

TEST_F(CRSSettingsTest, AHugeDurationNeverWrapsIntoAnEarlyExpiry) {
    cacheAt(R"({"cache_duration": 4294967295})", 1000);
    CRSSettings settings(manager_, kBuild);
    settings.reloadFromCacheWithBeaconAppID("app-1", 5000);
    EXPECT_FALSE(settings.isCacheExpired());
}

TEST_F(CRSSettingsTest, UnusableCachesAreDiscardedBeforeTheCallReturns) {
    struct Case {
        const char* name;
        std::string settings;
        std::optional<std::string> cacheKey;  // none: no cache-key file
        std::string appID;
        const char* logLine;
    };
    const std::string goodKey =
        R"json({"created_at": 1000, "beacon_app_id": "app-1", "build_instance_id": "build-1",
            "app_version": "2.4 (204)"})json";
    const Case cases[] = {
        {"no cache key", R"({"cache_duration": 60})", std::nullopt, "app-1",
         "Could not load settings cache key"},
        {"cache key not an object", R"({"cache_duration": 60})", "42", "app-1",
         "Could not load settings cache key"},
        {"settings not JSON", "{cache", goodKey, "app-1", "Could not load settings file data"},
        {"settings not an object", "[1, 2]", goodKey, "app-1", "Could not load settings file data"},
        {"another app", R"({"cache_duration": 60})", goodKey, "app-2", ""},
    };
    for (const Case& c : cases) {
        saveSettings(c.settings);
        if (c.cacheKey) writeFile(manager_.settingsCacheKeyPath(), *c.cacheKey);
        CRSSettings settings(manager_, kBuild);
        settings.reloadFromCacheWithBeaconAppID(c.appID, 1000);
        EXPECT_FALSE(settingsFilesExist()) << c.name;
        EXPECT_TRUE(settings.isCacheExpired()) << c.name;
        EXPECT_TRUE(settings.isCacheKeyExpired()) << c.name;
        EXPECT_EQ(settings.cacheDurationSeconds(), 3600u) << c.name;
        if (*c.logLine != '\0') {
            EXPECT_TRUE(logged(c.logLine)) << c.name;
        }
    }
}

TEST_F(CRSSettingsTest, ADeletionNeverTakesTheFilesOfTheNextDownload) {
    cacheAt(R"({"cache_duration": 60})", 1000);
    CRSSettings settings(manager_, kBuild);
    settings.reloadFromCacheWithBeaconAppID("app-1", 1000);
    ASSERT_FALSE(settings.isCacheExpired());

    settings.deleteCachedSettings();
    EXPECT_FALSE(settingsFilesExist()) << "removed before the call returns";
    EXPECT_TRUE(settings.isCacheExpired());

    // The next download saves its file and caches it: it stays, with its cache key.
    saveSettings(R"({"cache_duration": 120})");
    settings.cacheSettingsWithBeaconAppID("app-1", 2000);
    EXPECT_FALSE(settings.isCacheExpired());
    EXPECT_EQ(settings.cacheDurationSeconds(), 120u);
    const auto key = settings.loadCacheKey();
    ASSERT_TRUE(key);
    EXPECT_EQ(*key, nlohmann::json({{"created_at", 2000.0},
                                    {"beacon_app_id", "app-1"},
                                    {"build_instance_id", "build-1"},
                                    {"app_version", "2.4 (204)"}}));
    EXPECT_TRUE(fs::exists(manager_.settingsFilePath()));
}

}  // namespace
}  // namespace pex
