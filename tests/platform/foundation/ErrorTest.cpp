#include "platform/foundation/Error.h"

#include <gtest/gtest.h>

#include "platform/foundation/Exception.h"

namespace pex {
namespace {

TEST(ErrorTest, CarriesDomainCodeReasonAndUnderlyingError) {
    ErrorRef cause = Error::make("com.example.io", 5);
    ErrorRef error = Error::make("com.beacon.installations", 2,
                                 {{Error::kFailureReasonKey, "disk full"}, {"attempt", 3}}, cause);
    EXPECT_EQ(error->domain(), "com.beacon.installations");
    EXPECT_EQ(error->code(), 2);
    EXPECT_EQ(error->failureReason(), "disk full");
    EXPECT_EQ(error->underlyingError(), cause);
    EXPECT_EQ(error->userInfo()["attempt"], 3);
    EXPECT_EQ(cause->description(),
              "Error Domain=com.example.io Code=5 \"The operation couldn’t be completed. "
              "(com.example.io error 5.)\"");
    EXPECT_EQ(error->description(),
              "Error Domain=com.beacon.installations Code=2 \"The operation couldn’t be "
              "completed. (com.beacon.installations error 2.)\" UserInfo={attempt=3, "
              "localizedFailureReason=disk full, underlyingError=" +
                  cause->description() + "}");
    EXPECT_FALSE(cause->failureReason());
    EXPECT_TRUE(cause->userInfo().is_null());
}

TEST(ErrorTest, AGivenDescriptionIsUsedAndSubclassesMayDescribeThemselves) {
    EXPECT_EQ(Error::make("d", 1, {{Error::kDescriptionKey, "Nope"}})->localizedDescription(),
              "Nope");
    struct HttpError : Error {
        HttpError() : Error("com.example.http", 404) {}
        std::string description() const override { return "HTTP 404"; }
    };
    ErrorRef error = std::make_shared<HttpError>();
    EXPECT_EQ(error->description(), "HTTP 404");
    EXPECT_NE(dynamic_cast<const HttpError*>(error.get()), nullptr);
}

TEST(ExceptionTest, ABrokenPreconditionNamesTheParameter) {
    auto check = [](const void* queue) { PEX_PARAMETER_ASSERT(queue, "queue"); };
    EXPECT_NO_THROW(check(&check));
    try {
        check(nullptr);
        FAIL() << "no exception";
    } catch (const Exception& failure) {
        EXPECT_EQ(failure.name(), Exception::kInternalInconsistency);
        EXPECT_EQ(failure.reason(), "Invalid parameter not satisfying: queue");
        EXPECT_STREQ(failure.what(),
                     "InternalInconsistencyException: Invalid parameter not satisfying: queue");
    }
    Exception configuration("com.beacon.core", "missing option");
    EXPECT_EQ(configuration.name(), "com.beacon.core");
    EXPECT_EQ(configuration.reason(), "missing option");
}

}  // namespace
}  // namespace pex
