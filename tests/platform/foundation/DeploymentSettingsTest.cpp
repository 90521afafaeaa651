#include "platform/foundation/DeploymentSettings.h"

#include "platform/foundation/DeploymentDefaults.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

struct Accepted {
    const char* input;
    const char* text;  // normalised form
    bool loopback;
};

TEST(DeploymentSettingsTest, AcceptsHttpsAnywhereAndHttpOnlyOnLoopback) {
    const Accepted cases[] = {
        {"https://api.example.com", "https://api.example.com", false},
        {"HTTPS://API.Example.com:8443/", "https://api.example.com:8443", false},
        {"https://203.0.113.5", "https://203.0.113.5", false},
        {"https://[2001:db8::1]:443", "https://[2001:db8::1]:443", false},
        {"http://127.0.0.1:18620", "http://127.0.0.1:18620", true},
        {"http://127.255.3.4", "http://127.255.3.4", true},
        {"http://localhost:1", "http://localhost:1", true},
        {"http://LocalHost:65535", "http://localhost:65535", true},
        {"http://[::1]:8080", "http://[::1]:8080", true},
        {"http://[0:0:0:0:0:0:0:1]", "http://[0:0:0:0:0:0:0:1]", true},
    };
    for (const auto& c : cases) {
        auto origin = Origin::parse(c.input);
        ASSERT_TRUE(origin.has_value()) << c.input;
        EXPECT_EQ(origin->text(), c.text);
        EXPECT_EQ(origin->isLoopback(), c.loopback) << c.input;
        EXPECT_EQ(Origin::parse(origin->text()), origin) << c.input;
    }
}

TEST(DeploymentSettingsTest, RejectsMalformedOriginsAndPlainHttpElsewhere) {
    for (const char* bad :
         {"", "api.example.com", "ftp://api.example.com", "https://", "https://:443",
          "https://api.example.com/path", "https://api.example.com?q=1",
          "https://api.example.com#x", "https://user@api.example.com",
          "https://api.example.com:", "https://api.example.com:0", "https://api.example.com:65536",
          "https://api.example.com:80a", "https://api..example.com", "https://-api.example.com",
          "https://api_example.com", "https://999.1.1.1", "https://[::1", "https://[zz::1]",
          "https://[::1]x", "https://api.example.com//",
          // plain http outside loopback
          "http://api.example.com", "http://10.0.0.1", "http://128.0.0.1", "http://127.0.0.256",
          "http://127.0.0", "http://0127.0.0.1", "http://localhost.example.com", "http://[::2]",
          "http://[::ffff:127.0.0.1]", "http://127.0.0.1.example.com"}) {
        EXPECT_EQ(Origin::parse(bad), std::nullopt) << bad;
    }
}

TEST(DeploymentSettingsTest, BuildDefaultsAreValidAndCanBeMovedAndRestored) {
    const DeploymentSettings defaults = DeploymentSettings::buildDefaults();
    EXPECT_EQ(defaults.serviceOrigin.text(),
              Origin::parse(deployment_defaults::kServiceOrigin)->text());
    EXPECT_EQ(DeploymentSettings::current().serviceOrigin, defaults.serviceOrigin);

    const Origin standin = *Origin::parse("http://127.0.0.1:5555");
    DeploymentSettings::useSingleOrigin(standin);
    const DeploymentSettings& moved = DeploymentSettings::current();
    for (const Origin* origin :
         {&moved.serviceOrigin, &moved.staticOrigin, &moved.captchaOrigin, &moved.aiProviderOrigin})
        EXPECT_EQ(*origin, standin);

    DeploymentSettings::resetToBuildDefaults();
    EXPECT_EQ(DeploymentSettings::current().aiProviderOrigin, defaults.aiProviderOrigin);
    EXPECT_EQ(DeploymentSettings::current().captchaOrigin, defaults.captchaOrigin);
}

}  // namespace
}  // namespace pex
