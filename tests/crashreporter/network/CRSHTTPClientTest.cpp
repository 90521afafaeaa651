// The crash SDK's HTTP client against the stand-in over real HTTP: downloads to a file,
// retries on the process clock, gives up on the statuses that say so, follows no redirect.
#include "crashreporter/network/CRSHTTPClient.h"

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "crashreporter/network/CRSNetworkResponseHandler.h"
#include "crashreporter/network/NetworkTestSupport.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/StandardFolders.h"
#include "standin-service/CrashSettingsServer.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using standin::CrashSettingsServer;

struct Download {
    std::optional<std::string> body;  // read inside the completion
    bool fileExisted = false;
    std::filesystem::perms permissions = std::filesystem::perms::none;
    std::optional<std::filesystem::path> location;
    std::optional<HTTPURLResponse> response;
    ErrorRef error;
};

class CRSHTTPClientTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        ASSERT_NE(service_.start(), 0);
        url_ = service_.origin() + "/spi/v2/platforms/mac/apps/app/settings";
    }
    void TearDown() override { service_.stop(); }

    URLRequest request() const {
        URLRequest request(url_);
        request.headers = {{"Accept", "application/json"}};
        return request;
    }

    std::future<Download> download(URLRequest request, std::uint64_t retryLimit) {
        auto promise = std::make_shared<std::promise<Download>>();
        client_->startDownloadTaskWithRequest(
            std::move(request), retryLimit,
            [promise](std::optional<std::filesystem::path> location,
                      std::optional<HTTPURLResponse> response, ErrorRef error) {
                Download result;
                result.location = location;
                result.response = std::move(response);
                result.error = std::move(error);
                if (location) {
                    result.fileExisted = std::filesystem::exists(*location);
                    result.permissions = std::filesystem::status(*location).permissions() &
                                         std::filesystem::perms::all;
                    std::ifstream in(*location, std::ios::binary);
                    std::ostringstream bytes;
                    bytes << in.rdbuf();
                    result.body = bytes.str();
                }
                promise->set_value(std::move(result));
            });
        return promise->get_future();
    }

    standin::StandinService service_;
    CrashSettingsServer settings_{service_};
    std::shared_ptr<CRSHTTPClient> client_ = CRSHTTPClient::create();
    std::string url_;
};

TEST_F(CRSHTTPClientTest, DownloadsTheBodyToAFileRemovedAfterTheCompletion) {
    auto future = download(request(), 1);
    ASSERT_TRUE(test::ready(future));
    const Download result = future.get();
    ASSERT_EQ(result.error, nullptr) << result.error->description();
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_TRUE(result.fileExisted);
    EXPECT_EQ(nlohmann::json::parse(*result.body), CrashSettingsServer::defaultDocument());
    EXPECT_EQ(result.permissions,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_TRUE(test::waitUntil([&] { return !std::filesystem::exists(*result.location); }));
    EXPECT_EQ(settings_.requests().size(), 1u);
}

TEST_F(CRSHTTPClientTest, DataTaskHandsTheBodyOver) {
    std::promise<std::pair<std::optional<std::string>, ErrorRef>> done;
    client_->startDataTaskWithRequest(
        request(),
        [&](std::optional<std::string> data, std::optional<HTTPURLResponse>, ErrorRef error) {
            done.set_value({std::move(data), std::move(error)});
        });
    auto future = done.get_future();
    ASSERT_TRUE(test::ready(future));
    const auto [data, error] = future.get();
    EXPECT_EQ(error, nullptr);
    ASSERT_TRUE(data);
    EXPECT_EQ(nlohmann::json::parse(*data), CrashSettingsServer::defaultDocument());
}

TEST_F(CRSHTTPClientTest, BusyServerIsRetriedOnceAfterItsRetryAfterThenTheLimitEndsIt) {
    ScopedManualClock clock;
    settings_.script({503, {{"Retry-After", "30"}}, "busy"});
    settings_.script({503, {{"Retry-After", "30"}}, "busy"});
    auto future = download(request(), 1);

    // The first answer schedules the retry on the clock; nothing is sent before 27 s.
    ASSERT_TRUE(test::waitUntil([&] { return clock.clock().pendingCount() == 1; }));
    clock.clock().advance(std::chrono::milliseconds(26'900));
    EXPECT_EQ(clock.clock().pendingCount(), 1u);
    EXPECT_EQ(settings_.requests().size(), 1u);
    clock.clock().advance(std::chrono::milliseconds(6'200));

    ASSERT_TRUE(test::ready(future));
    const Download result = future.get();
    EXPECT_EQ(settings_.requests().size(), 2u);
    ASSERT_NE(result.error, nullptr);
    EXPECT_EQ(result.error->domain(), "CRSNetworkError");
    EXPECT_EQ(result.error->code(), -6);
    EXPECT_EQ(result.error->userInfo()["retryLimit"], 1);
    EXPECT_EQ(result.error->userInfo()[kCRSURLErrorFailingURLKey], url_);
    EXPECT_FALSE(result.location);
    EXPECT_FALSE(result.response);
}

TEST_F(CRSHTTPClientTest, ARetryThatSucceedsHandsOverTheSecondReply) {
    ScopedManualClock clock;
    settings_.script({429, {}, "slow down"});
    auto future = download(request(), 1);
    ASSERT_TRUE(test::waitUntil([&] { return clock.clock().pendingCount() == 1; }));
    clock.clock().advance(std::chrono::milliseconds(2'300));  // about 2 s without Retry-After
    ASSERT_TRUE(test::ready(future));
    const Download result = future.get();
    EXPECT_EQ(result.error, nullptr);
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_EQ(settings_.requests().size(), 2u);
}

TEST_F(CRSHTTPClientTest, FinalAnswersAreNotRetried) {
    struct Case {
        CrashSettingsServer::ScriptedReply reply;
        std::int64_t code;  // 0: success
    };
    const Case cases[] = {
        {{404, {}, R"({"error":"not found"})"}, -5},
        {{200, {}, "<html></html>", "text/html"}, -4},
        {{304, {}, "", "application/json"}, 0},
        {{302, {{"Location", "/spi/v2/platforms/mac/apps/other/settings"}}, ""}, -4},
        {{203, {}, "{}"}, -4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.status);
        settings_.clear();
        settings_.script(c.reply);
        auto future = download(request(), 1);
        ASSERT_TRUE(test::ready(future));
        const Download result = future.get();
        EXPECT_EQ(settings_.requests().size(), 1u);  // no retry, no redirect followed
        ASSERT_TRUE(result.response);
        EXPECT_EQ(result.response->statusCode, c.reply.status);
        if (c.code == 0) {
            EXPECT_EQ(result.error, nullptr);
            continue;
        }
        ASSERT_NE(result.error, nullptr);
        EXPECT_EQ(result.error->code(), c.code);
        EXPECT_EQ(result.error->userInfo()["status_code"], c.reply.status);
    }
}

TEST_F(CRSHTTPClientTest, EachRequestHasItsOwnTimeOut) {
    service_.setFault("/spi/v2/platforms/mac/apps/app/settings",
                      standin::Fault::slow(std::chrono::seconds(5)));
    URLRequest slow = request();
    slow.timeoutInterval = std::chrono::milliseconds(300);
    const auto started = std::chrono::steady_clock::now();
    auto future = download(slow, 0);  // a time-out may pass, but the limit allows no retry
    ASSERT_TRUE(test::ready(future));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    const Download result = future.get();
    ASSERT_NE(result.error, nullptr);
    EXPECT_EQ(result.error->code(), -6);
}

TEST_F(CRSHTTPClientTest, AnInvalidatedClientSendsNothingAndDoesNotRetry) {
    client_->invalidateAndCancel();
    auto future = download(request(), 3);
    ASSERT_TRUE(test::ready(future));
    const Download result = future.get();
    ASSERT_NE(result.error, nullptr);
    EXPECT_EQ(result.error->domain(), kCRSURLErrorDomain);
    EXPECT_EQ(result.error->code(), -999);
    EXPECT_TRUE(settings_.requests().empty());
}

}  // namespace
}  // namespace pex

namespace pex {
namespace {

TEST_F(CRSHTTPClientTest, ADownloadPastItsLimitFailsWithoutRetryOrFile) {
    URLRequest limited = request();
    limited.maximumResponseSize = 16;  // the settings document is larger
    auto future = download(limited, 3);
    ASSERT_TRUE(test::ready(future));
    const Download result = future.get();
    ASSERT_NE(result.error, nullptr);
    EXPECT_EQ(result.error->domain(), kCRSURLErrorDomain);
    EXPECT_EQ(result.error->code(), -1103);
    EXPECT_FALSE(result.location);
    EXPECT_EQ(settings_.requests().size(), 1u);
    // The partial body is removed once the completion has returned.
    EXPECT_TRUE(test::waitUntil([] {
        for (const auto& entry :
             std::filesystem::directory_iterator(StandardFolders::temporary())) {
            if (entry.path().filename().string().rfind("download-", 0) == 0) return false;
        }
        return true;
    }));
}

}  // namespace
}  // namespace pex
