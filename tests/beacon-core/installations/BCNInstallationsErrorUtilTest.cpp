#include "beacon-core/installations/BCNInstallationsErrorUtil.h"

#include <gtest/gtest.h>

#include "beacon-core/PromiseTestSupport.h"
#include "beacon-core/installations/BCNInstallationsHTTPError.h"
#include "platform/foundation/KeyedArchive.h"

namespace pex {
namespace {

using Util = BCNInstallationsErrorUtil;

HTTPURLResponse response(long status) {
    HTTPURLResponse r;
    r.url = "https://installations.example/v1/projects/p/installations/";
    r.statusCode = status;
    return r;
}

TEST(BCNInstallationsErrorUtilTest, FactoriesGiveTheirCodesAndReasons) {
    const ErrorRef underlying = Error::make("NSURLErrorDomain", -1009);
    struct Case {
        ErrorRef error;
        std::int64_t code;
        std::string reason;
    } cases[] = {
        {Util::keychainErrorWithFunction("SecItemDelete", -25291), 1, "SecItemDelete (-25291)"},
        {Util::installationItemNotFoundForAppID("1:123:ios:abc", "__BCNAPP_DEFAULT"), 0,
         "Installation for appID 1:123:ios:abc appName __BCNAPP_DEFAULT not found"},
        {Util::corruptedIIDTokenData(), 0,
         "IID token data stored in Keychain is corrupted or in an incompatible format."},
        {Util::JSONSerializationError(nullptr), 0, "Failed to serialize JSON data."},
        {Util::FIDRegistrationErrorWithResponseMissingField("refreshToken"), 0,
         "A required response field with name refreshToken is missing"},
        {Util::networkErrorWithError(underlying), 2, "Network connection error."},
        {Util::backoffIntervalWaitError(), 2, "Too many server requests."},
        {Util::keyedArchiverErrorWithError(underlying), 0, "NSKeyedArchiver error."},
        {Util::keyedArchiverErrorWithException(Exception("Bad", "broken")), 0,
         "NSKeyedArchiver exception with name: Bad, reason: broken, userInfo: (null)"},
        {Util::installationsErrorWithCode(2, std::nullopt, underlying), 2,
         "Underlying error: " + underlying->localizedDescription()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(c.error->domain(), "com.beacon.installations");
        EXPECT_EQ(c.error->code(), c.code);
        EXPECT_EQ(c.error->failureReason(), c.reason);
    }
    EXPECT_EQ(Util::networkErrorWithError(underlying)->underlyingError(), underlying);
}

TEST(BCNInstallationsErrorUtilTest, PublicDomainErrorsPassAndOthersAreWrapped) {
    const ErrorRef own = Util::backoffIntervalWaitError();
    EXPECT_EQ(Util::publicDomainErrorWithError(own), own);
    const ErrorRef HTTPError = Util::APIErrorWithHTTPResponse(response(409), "{}");
    EXPECT_EQ(Util::publicDomainErrorWithError(HTTPError), HTTPError);

    const ErrorRef network = Error::make("NSURLErrorDomain", -1009);
    const ErrorRef wrapped = Util::publicDomainErrorWithError(network);
    EXPECT_EQ(wrapped->domain(), "com.beacon.installations");
    EXPECT_EQ(wrapped->code(), 0);
    EXPECT_TRUE(wrapped->failureReason()->starts_with("Underlying error: "));
    EXPECT_EQ(wrapped->underlyingError(), network);
}

TEST(BCNInstallationsErrorUtilTest, OnlyHTTPErrorsOfThatStatusAreAPIErrors) {
    EXPECT_TRUE(Util::isAPIError(Util::APIErrorWithHTTPResponse(response(500), ""), 500));
    EXPECT_FALSE(Util::isAPIError(Util::APIErrorWithHTTPResponse(response(404), ""), 500));
    EXPECT_FALSE(Util::isAPIError(Error::make("com.beacon.installations", 500), 500));
    EXPECT_FALSE(Util::isAPIError(nullptr, 500));
}

TEST(BCNInstallationsErrorUtilTest, AnHTTPErrorNamesURLStatusAndBodyOnThreeLines) {
    const ErrorRef error = Util::APIErrorWithHTTPResponse(response(500), R"({"error":"x"})");
    EXPECT_EQ(error->code(), 0);
    EXPECT_EQ(error->failureReason(),
              "The server responded with an error: \n"
              " - URL: https://installations.example/v1/projects/p/installations/ \n"
              " - HTTP status code: 500 \n"
              " - Response body: {\"error\":\"x\"}");
    // A body that is not UTF-8 text is not pasted into the reason.
    const ErrorRef binary = Util::APIErrorWithHTTPResponse(response(502), "\xff\xfe");
    EXPECT_TRUE(binary->failureReason()->ends_with(" - Response body: (null)"));
    EXPECT_NO_THROW((void)binary->description());
}

TEST(BCNInstallationsErrorUtilTest, AnHTTPErrorArchivesWithItsResponseAndBody) {
    const BCNInstallationsHTTPError original(response(503), "body");
    auto copy = KeyedArchive::unarchive<BCNInstallationsHTTPError>(KeyedArchive::archive(original));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->HTTPResponse().statusCode, 503);
    EXPECT_EQ(copy->HTTPResponse().url, original.HTTPResponse().url);
    EXPECT_EQ(copy->data(), "body");
    EXPECT_EQ(copy->failureReason(), original.failureReason());
    EXPECT_FALSE(BCNInstallationsHTTPError::decodeWithCoder({{"data", PropertyList("x")}}));
}

class BCNInstallationsRejectedPromiseTest : public test::PromiseTest {};

TEST_F(BCNInstallationsRejectedPromiseTest, RejectedPromiseCarriesTheError) {
    const ErrorRef error = Util::backoffIntervalWaitError();
    auto promise = Util::rejectedPromiseWithError(error);
    EXPECT_TRUE(promise->isRejected());
    EXPECT_EQ(promise->error(), error);
}

}  // namespace
}  // namespace pex
