// The settings download from end to end against the stand-in: the request (path, query items,
// the 14 headers), how each kind of reply is handled, and what is left on disk.
#include "crashreporter/network/CRSSettingsManager.h"

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "crashreporter/network/CRSNetworkOperation.h"
#include "crashreporter/network/CRSSettingsEndpoint.h"
#include "crashreporter/network/NetworkTestSupport.h"
#include "crashreporter/reports/CRSInstallations.h"
#include "crashreporter/reports/ReportsFixture.h"
#include "crashreporter/runtime/CRSHost.h"
#include "platform/foundation/Clock.h"
#include "platform/mach/HostInfo.h"
#include "standin-service/CrashSettingsServer.h"
#include "standin-service/RawHttpCapture.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using standin::CrashSettingsServer;

constexpr char kAppID[] = "1:1234:mac:abcd";
const CRSApplicationIdentifierModel::ArchitectureUUIDMap kExecutable = {
    {"x86_64", "0123456789abcdef0123456789abcdef01234567"}};
constexpr char kInstanceID[] = "158b484ae1f6f64f89da22397d25fbdafad02252";

class SilentInstallations : public CRSInstallations {
  public:
    void installationIDWithCompletion(IDCompletion) override {}
    void authTokenWithCompletion(TokenCompletion) override {}
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class CRSSettingsManagerTest : public test::ReportsTest {
  protected:
    void SetUp() override {
        ASSERT_NE(service_.start(), 0);
        CRSSettingsEndpoint::setOriginForTesting(service_.origin());
        useInfo({{"CFBundleIdentifier", "com.pexmora.tests"},
                 {"CFBundleVersion", "204"},
                 {"CFBundleShortVersionString", "2.4"}});
    }
    void TearDown() override {
        service_.stop();
        CRSSettingsEndpoint::setOriginForTesting(std::nullopt);
    }

    void useInfo(const PropertyList::Dictionary& info) {
        const auto folder = root() / "bundle";
        fs::create_directories(folder);
        std::ofstream(folder / "Info.plist")
            << PropertyList(info).serialize(PropertyList::Format::Xml);
        Bundle::setMainForTesting(folder);
        appIDModel_ = std::make_shared<CRSApplicationIdentifierModel>(Bundle::main(), kExecutable);
        settings_ = std::make_shared<CRSSettings>(*fileManager_, appIDModel_->buildIdentity());
    }

    std::shared_ptr<CRSSettingsManager> makeManager() {
        auto manager = CRSSettingsManager::create(appIDModel_, installIDModel_, settings_,
                                                  fileManager_, kAppID);
        manager->onSettingsDownloadFinished = [this](const ErrorRef& error) {
            finished_.set_value(error);
        };
        return manager;
    }

    // Runs one download to its end and hands back its error.
    ErrorRef download(
        const CRSDataCollectionTokenRef& token = CRSDataCollectionToken::validToken()) {
        manager_ = makeManager();
        manager_->beginSettingsWithBeaconAppId(kAppID, token);
        auto future = finished_.get_future();
        EXPECT_TRUE(test::ready(future));
        return future.get();
    }

    // Settings and a cache key from an earlier launch.
    void writeOldSettings() {
        writeFile(fileManager_->settingsFilePath(), R"({"cache_duration":120})");
        writeFile(fileManager_->settingsCacheKeyPath(), R"({"created_at":1})");
    }
    void expectOldSettingsKept() {
        EXPECT_EQ(readFile(fileManager_->settingsFilePath()), R"({"cache_duration":120})");
        EXPECT_EQ(readFile(fileManager_->settingsCacheKeyPath()), R"({"created_at":1})");
        // Nothing half-written is left beside them.
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry :
             fs::directory_iterator(fileManager_->settingsDirectoryPath())) {
            ++entries;
        }
        EXPECT_EQ(entries, 2u);
    }

    bool loggedSince(std::size_t first, const std::string& text) const {
        const auto lines = log_.lines();
        for (std::size_t i = first; i < lines.size(); ++i) {
            if (lines[i].find(text) != std::string::npos) return true;
        }
        return false;
    }

    standin::StandinService service_;
    CrashSettingsServer server_{service_};
    std::shared_ptr<CRSFileManager> fileManager_ = std::make_shared<CRSFileManager>();
    std::shared_ptr<CRSInstallIdentifierModel> installIDModel_ =
        std::make_shared<CRSInstallIdentifierModel>(std::make_shared<SilentInstallations>());
    std::shared_ptr<CRSApplicationIdentifierModel> appIDModel_;
    std::shared_ptr<CRSSettings> settings_;
    std::shared_ptr<CRSSettingsManager> manager_;
    std::promise<ErrorRef> finished_;
};

TEST_F(CRSSettingsManagerTest, RequestCarriesThePathTheQueryItemsAndTheFourteenHeadersInOrder) {
    standin::RawHttpCapture capture(R"({"cache_duration":600})");
    CRSSettingsEndpoint::setOriginForTesting(capture.origin());
    EXPECT_EQ(download(), nullptr);

    const auto heads = capture.heads();
    ASSERT_EQ(heads.size(), 1u);
    const std::string& head = heads[0];
    EXPECT_EQ(head.substr(0, head.find("\r\n")),
              std::string("GET /spi/v2/platforms/mac/apps/1:1234:mac:abcd/settings"
                          "?build_version=204&display_version=2.4&instance=") +
                  kInstanceID + "&source=1 HTTP/1.1");

    // Every header line, less the two the transfer library adds itself.
    std::vector<std::pair<std::string, std::string>> sent;
    std::istringstream lines(head.substr(head.find("\r\n") + 2));
    for (std::string line; std::getline(lines, line) && line != "\r";) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto colon = line.find(':');
        const std::string name = line.substr(0, colon);
        if (name == "Host" || name == "Accept-Encoding") continue;
        sent.emplace_back(name, line.substr(colon + 2));
    }
    const std::string locale = HostInfo::localeIdentifier();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"User-Agent", "com.beacon.crashreporter.mac/12.7.0"},
        {"Accept-Charset", "utf-8"},
        {"Accept-Language", locale},
        {"Content-Language", locale},
        {"X-CrashReporter-Developer-Token", "3c9e51a0b7d24f86e0a1c3b5d7f9e2a4c6b8d0f1"},
        {"X-CrashReporter-API-Client-Id", "com.beacon.crashreporter.mac"},
        {"X-CrashReporter-API-Client-Display-Version", "12.7.0"},
        {"X-CrashReporter-Beacon-App-Id", kAppID},
        {"Accept", "application/json"},
        {"X-CrashReporter-Installation-ID", installIDModel_->installID()},
        {"X-CrashReporter-Device-Model", UTLAppEnvironmentUtil::deviceModel()},
        {"X-CrashReporter-OS-Build-Version", CRSHostOSBuildVersion().value_or("")},
        {"X-CrashReporter-OS-Display-Version", CRSHostOSDisplayVersion()},
        {"X-CrashReporter-API-Client-Version", "12.7.0"},
    };
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(sent.size(), 14u);
}

TEST_F(CRSSettingsManagerTest, AMissingBuildVersionLeavesItsItemOut) {
    useInfo({{"CFBundleIdentifier", "com.pexmora.tests"}, {"CFBundleShortVersionString", "2.4"}});
    const auto manager = makeManager();
    EXPECT_EQ(manager->settingsURL(),
              service_.origin() + "/spi/v2/platforms/mac/apps/1:1234:mac:abcd/settings" +
                  "?display_version=2.4&instance=" + kInstanceID + "&source=1");

    EXPECT_EQ(download(), nullptr);
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/spi/v2/platforms/mac/apps/1:1234:mac:abcd/settings");
    EXPECT_EQ(requests[0].queryValue("build_version"), std::nullopt);
    EXPECT_EQ(requests[0].queryValue("display_version"), "2.4");
    EXPECT_EQ(requests[0].queryValue("instance"), kInstanceID);
    EXPECT_EQ(requests[0].queryValue("source"), "1");
}

TEST_F(CRSSettingsManagerTest, SuccessSavesTheSettingsWritesTheCacheKeyAndClosesTheSession) {
    writeOldSettings();
    EXPECT_EQ(download(), nullptr);

    EXPECT_EQ(nlohmann::json::parse(readFile(fileManager_->settingsFilePath())),
              CrashSettingsServer::defaultDocument());
    const auto cacheKey = nlohmann::json::parse(readFile(fileManager_->settingsCacheKeyPath()));
    EXPECT_EQ(cacheKey["beacon_app_id"], kAppID);
    EXPECT_EQ(cacheKey["build_instance_id"], kInstanceID);
    EXPECT_EQ(cacheKey["app_version"], "2.4 (204)");
    // The settings model now answers from the new document.
    EXPECT_EQ(settings_->cacheDurationSeconds(), 86400u);
    EXPECT_FALSE(settings_->isCacheExpired());

    // One manager downloads once: its session is closed.
    std::promise<ErrorRef> again;
    manager_->onSettingsDownloadFinished = [&](const ErrorRef& error) { again.set_value(error); };
    manager_->beginSettingsDownload(CRSDataCollectionToken::validToken());
    auto future = again.get_future();
    ASSERT_TRUE(test::ready(future));
    ASSERT_NE(future.get(), nullptr);
    EXPECT_EQ(server_.requests().size(), 1u);
}

TEST_F(CRSSettingsManagerTest, FailedDownloadsKeepTheCachedSettings) {
    struct Case {
        const char* name;
        std::vector<CrashSettingsServer::ScriptedReply> replies;
        std::string domain;
        std::int64_t code;
        std::size_t requests;
    };
    const Case cases[] = {
        {"busy twice",
         {{503, {{"Retry-After", "1"}}, "busy"}, {503, {{"Retry-After", "1"}}, "busy"}},
         "CRSNetworkError",
         -6,
         2},
        {"not found", {{404, {}, R"({"error":"no app"})"}}, "CRSNetworkError", -5, 1},
        {"html", {{200, {}, "<html>login</html>", "text/html"}}, "CRSNetworkError", -4, 1},
        {"not modified",
         {{304, {}, "", "application/json"}},
         kCRSSettingsDownloadErrorDomain,
         1,
         1},
        {"broken json",
         {{200, {}, R"({"cache_duration":)"}},
         kCRSSettingsDownloadErrorDomain,
         1,
         1},
        {"json array", {{200, {}, "[1,2]"}}, kCRSSettingsDownloadErrorDomain, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedManualClock clock;
        server_.clear();
        finished_ = {};
        const std::size_t linesBefore = log_.lines().size();
        writeOldSettings();
        for (const auto& reply : c.replies) server_.script(reply);

        manager_ = makeManager();
        manager_->beginSettingsWithBeaconAppId(kAppID, CRSDataCollectionToken::validToken());
        auto future = finished_.get_future();
        if (c.requests > 1) {
            // The retry waits about 2 s on the clock.
            ASSERT_TRUE(test::waitUntil([&] { return clock.clock().pendingCount() == 1; }));
            clock.clock().advance(std::chrono::milliseconds(2'300));
        }
        ASSERT_TRUE(test::ready(future));
        const ErrorRef error = future.get();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain(), c.domain);
        EXPECT_EQ(error->code(), c.code);
        EXPECT_EQ(server_.requests().size(), c.requests);
        expectOldSettingsKept();
        EXPECT_TRUE(loggedSince(linesBefore, "Failed to download settings."));
        EXPECT_EQ(loggedSince(linesBefore,
                              "make sure you have enabled CrashReporter in the Beacon Console."),
                  c.code == -5);
    }
}

TEST_F(CRSSettingsManagerTest, AFailedMoveKeepsTheCacheKeyAndSaysSo) {
    writeOldSettings();
    // A settings "file" that cannot be replaced by a rename.
    fs::remove(fileManager_->settingsFilePath());
    fs::create_directories(fs::path(fileManager_->settingsFilePath()) / "occupied");
    const ErrorRef error = download();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain(), kCRSSettingsDownloadErrorDomain);
    EXPECT_EQ(error->code(), CRSSettingsDownloadErrorCodeSaveFailed);
    EXPECT_TRUE(logged("Unable to complete settings download"));
    EXPECT_EQ(readFile(fileManager_->settingsCacheKeyPath()), R"({"created_at":1})");
    EXPECT_TRUE(fs::is_directory(fileManager_->settingsFilePath()));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(fileManager_->settingsDirectoryPath())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2u);  // no temporary file left behind
}

TEST_F(CRSSettingsManagerTest, WithoutAValidTokenNothingIsSent) {
    const auto manager = makeManager();
    manager->beginSettingsWithBeaconAppId(kAppID, nullptr);
    EXPECT_TRUE(logged("Skipping network operation with invalid data collection token"));
    EXPECT_TRUE(server_.requests().empty());
    auto future = finished_.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_THROW(manager->beginSettingsWithBeaconAppId("", CRSDataCollectionToken::validToken()),
                 std::invalid_argument);
}

}  // namespace
}  // namespace pex
