// The service-line list against the stand-in service over real HTTP: the line document from
// the static-file port, the buttons it gives, the latency test with held-back and black-holed
// lines, the stored row, the choice of a line and the addresses a line may use.
#include "Page/View/NetChannelView.h"

#include <QRegularExpression>
#include <QStringList>
#include <memory>

#include <gtest/gtest.h>

#include "Page/View/ChannelButtonView.h"
#include "Page/View/ChannelSelectionGroup.h"
#include "Tools/ColorExtension.h"
#include "Tools/SystemColors.h"
#include "platform/foundation/DeploymentSettings.h"
#include "service/ApiBaseURL.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "standin-service/ServiceLineHosts.h"
#include "standin-service/StandinService.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace pex {

inline void PrintTo(const Color& colour, std::ostream* out) {
    *out << hexString(colour) << " alpha " << colour.alphaComponent();
}

namespace {

using nlohmann::json;
using standin::BlackHoleListener;
using standin::Fault;
using standin::lineHost;
using standin::StandinService;
using namespace std::chrono_literals;
using Kind = SpeedTestState::Kind;

const Color kGreen = colorWithHex(0x81DD52);
const Color kYellow = colorWithHex(0xFFCC66);
const Color kOrange = colorWithHex(0xAA5200);
const Color kRed = colorWithHex(0xFF4B44);

json line(const std::string& name, const std::string& host) {
    return {{"type", 1}, {"name", name}, {"host", host}, {"sort", 1}};
}

// The latency shown on a button, when it shows one.
std::optional<int> shownMilliseconds(const ChannelButtonView* button) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)ms$"));
    const auto match = pattern.match(button->subTitle());
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

class NetChannelViewTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        ASSERT_NE(service_.start(), 0);
        staticPort_ = service_.addListener();
        ASSERT_NE(staticPort_, 0);
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        DeploymentSettings::current().staticOrigin = *Origin::parse(service_.origin(staticPort_));
        resetApiBaseURL();
        standin::registerLineHosts(service_);
    }

    void TearDown() override {
        views_.clear();
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
    }

    NetChannelView* makeView() {
        auto& view = views_.emplace_back(std::make_unique<NetChannelView>());
        view->resize(700, NetChannelView::kPreferredHeight);
        view->show();
        return view.get();
    }

    // Waits for the buttons of the first document reply.
    static bool waitForButtons(NetChannelView* view, std::size_t count) {
        return test::runMainUntil([&] { return view->deviceButtons().size() == count; });
    }

    static QStringList subtitles(const NetChannelView* view) {
        QStringList texts;
        for (const ChannelButtonView* button : view->deviceButtons()) texts << button->subTitle();
        return texts;
    }

    static bool testEnded(const NetChannelView* view, std::chrono::milliseconds timeout = 15s) {
        return test::runMainUntil(
            [&] { return !subtitles(view).contains(NetChannelView::testingText()); }, timeout);
    }

    StandinService service_;
    int staticPort_ = 0;
    std::vector<std::unique_ptr<NetChannelView>> views_;
};

TEST_F(NetChannelViewTest, ObjectLinesOfTheDocumentBecomeButtonsThatShowTestingFirst) {
    BlackHoleListener hole;  // nothing answers, so every line stays in its test
    ASSERT_NE(hole.port(), 0);
    standin::setLineDocument(service_, json::array({line("北京线路", hole.origin()),
                                                    42,
                                                    {{"type", 2}, {"host", hole.origin()}},
                                                    line("上海线路", hole.origin())}));
    SettingsStore::set(SettingsKeys::loginToken, "token-of-the-user");

    NetChannelView* view = makeView();
    ASSERT_TRUE(waitForButtons(view, 3));

    const auto buttons = view->deviceButtons();
    EXPECT_EQ(buttons[0]->title(), "北京线路");
    EXPECT_EQ(buttons[1]->title(), "线路");  // no "name"
    EXPECT_EQ(buttons[2]->title(), "上海线路");
    for (const ChannelButtonView* button : buttons) {
        EXPECT_EQ(button->subTitle(), "测速中");
        EXPECT_EQ(button->subTitleColor(), systemGrayColor());
        EXPECT_EQ(button->width(), NetChannelView::kButtonWidth);
        EXPECT_EQ(button->height(), view->height());
    }
    EXPECT_EQ(buttons[0]->x(), 0);
    EXPECT_EQ(buttons[1]->x(), 136);
    EXPECT_EQ(buttons[2]->x(), 272);
    EXPECT_EQ(view->sizeHint().width(), 3 * 120 + 2 * 16 + 2);
    EXPECT_TRUE(buttons[0]->isSelected());
    EXPECT_FALSE(buttons[1]->isSelected());

    // The document came from the static-file port, without the user's token.
    const auto fetched = service_.requests("/meeting-network.json");
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_EQ(fetched[0].method, "GET");
    EXPECT_EQ(fetched[0].localPort, staticPort_);
    EXPECT_FALSE(fetched[0].header("Authorization"));
}

TEST_F(NetChannelViewTest, MeasuredLatenciesShowInTheirColourBand) {
    const std::vector<std::pair<std::string, std::chrono::milliseconds>> lines = {
        {"fast", 0ms}, {"near", 150ms}, {"far", 500ms}, {"remote", 900ms}};
    json document = json::array();
    for (const auto& [name, delay] : lines) {
        document.push_back(line(name, lineHost(service_, name)));
        if (delay > 0ms) standin::setLineDelay(service_, name, delay);
    }
    standin::setLineDocument(service_, document);

    NetChannelView* view = makeView();
    ASSERT_TRUE(waitForButtons(view, lines.size()));
    ASSERT_TRUE(testEnded(view));

    const auto buttons = view->deviceButtons();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i].first);
        const auto shown = shownMilliseconds(buttons[i]);
        ASSERT_TRUE(shown) << buttons[i]->subTitle().toStdString();
        EXPECT_GE(*shown, lines[i].second.count());
        // The colour comes from the unrounded time, which lies within half a millisecond.
        const Color colour = buttons[i]->subTitleColor();
        EXPECT_TRUE(colour == NetChannelView::latencyColor(*shown - 0.5, false) ||
                    colour == NetChannelView::latencyColor(*shown + 0.49, false));
        EXPECT_EQ(view->hostArrList()[i].speed, buttons[i]->subTitle());
    }
    EXPECT_EQ(buttons.back()->subTitleColor(), kRed);  // 900 ms or more

    // Plain HEAD requests to the bare line addresses, without the service client's headers.
    for (const auto& [name, delay] : lines) {
        const auto probes = service_.requests("/line/" + name);
        ASSERT_EQ(probes.size(), 1u) << name;
        EXPECT_EQ(probes[0].method, "HEAD");
        EXPECT_FALSE(probes[0].header("platform"));
        EXPECT_FALSE(probes[0].header("Authorization"));
    }
}

TEST_F(NetChannelViewTest, BlackHoledLineDoesNotHoldUpTheOthers) {
    BlackHoleListener hole;
    ASSERT_NE(hole.port(), 0);
    standin::setLineDocument(
        service_, json::array({line("甲", lineHost(service_, "a")), line("黑洞", hole.origin()),
                               line("丙", lineHost(service_, "c"))}));
    NetChannelView* view = makeView();
    ASSERT_TRUE(waitForButtons(view, 3));

    const auto buttons = view->deviceButtons();
    ASSERT_TRUE(test::runMainUntil(
        [&] { return shownMilliseconds(buttons[0]) && shownMilliseconds(buttons[2]); }));
    // Had the others waited for the silent line, it would have failed before they finished.
    EXPECT_EQ(buttons[1]->subTitle(), "测速中");

    // The silent line gives up on its own time-out, and with it the whole test ends.
    ASSERT_TRUE(testEnded(view));
    EXPECT_EQ(buttons[1]->subTitle(), "不可用");
    EXPECT_EQ(buttons[1]->subTitleColor(), kRed);
    EXPECT_TRUE(shownMilliseconds(buttons[0]));
    EXPECT_TRUE(shownMilliseconds(buttons[2]));
}

TEST_F(NetChannelViewTest, StoredRowBeyondTheListFallsBackToTheFirstLine) {
    SettingsStore::setHostChannelSelectType(2);
    standin::setLineDocument(service_, json::array({line("一", lineHost(service_, "one") + "/"),
                                                    line("二", lineHost(service_, "two"))}));
    NetChannelView* view = makeView();
    ASSERT_TRUE(waitForButtons(view, 2));

    EXPECT_EQ(SettingsStore::hostChannelSelectType(), 0);
    EXPECT_EQ(apiBaseURL(), lineHost(service_, "one") + "/api/v1");
    EXPECT_TRUE(view->deviceButtons()[0]->isSelected());
    EXPECT_FALSE(view->deviceButtons()[1]->isSelected());
}

TEST_F(NetChannelViewTest, ChoosingALineSetsTheApiBaseAndStoresItsRow) {
    const int otherPort = service_.addListener();
    ASSERT_NE(otherPort, 0);
    const std::string bare = "127.0.0.1:" + std::to_string(service_.port());
    standin::setLineDocument(service_,
                             json::array({line("主线路", service_.origin()),
                                          line("备用线路", service_.origin(otherPort) + "/"),
                                          line("无协议", " " + bare + "/api/v1/\n")}));
    NetChannelView* view = makeView();
    ASSERT_TRUE(waitForButtons(view, 3));
    EXPECT_EQ(apiBaseURL(), service_.apiBase());

    const auto buttons = view->deviceButtons();
    testing::internal::CaptureStdout();
    test::click(buttons[1]);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("====选中了设备: 1"), std::string::npos) << console;
    EXPECT_EQ(apiBaseURL(), service_.origin(otherPort) + "/api/v1");
    EXPECT_EQ(SettingsStore::hostChannelSelectType(), 1);
    EXPECT_TRUE(buttons[1]->isSelected());
    EXPECT_FALSE(buttons[0]->isSelected());

    // The next service request goes to the chosen line.
    bool answered = false;
    HttpDatas::shared().request("/country/list", HTTPMethod::Get, std::nullopt, std::nullopt,
                                [&](auto, auto, auto) { answered = true; });
    ASSERT_TRUE(test::runMainUntil([&] { return answered; }));
    const auto listed = service_.requests("/country/list");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].localPort, otherPort);

    // A host written without a scheme is an https address.
    test::click(buttons[2]);
    EXPECT_EQ(apiBaseURL(), "https://" + bare + "/api/v1");
    EXPECT_EQ(SettingsStore::hostChannelSelectType(), 2);
}

TEST_F(NetChannelViewTest, PlainHttpLineOnAnotherHostIsNeverTestedNorApplied) {
    // 0.0.0.0 is not a loopback host; were it dialled, it would reach this stand-in.
    const std::string plain = "http://0.0.0.0:" + std::to_string(service_.port()) + "/line/plain";
    standin::setLineDocument(service_, json::array({line("明文线路", plain),
                                                    line("加密线路", lineHost(service_, "ok"))}));
    NetChannelView* view = makeView();
    ASSERT_TRUE(waitForButtons(view, 2));
    // Row 0 is chosen at start, but its address is not used.
    EXPECT_EQ(apiBaseURL(), initialApiBaseURL());

    ASSERT_TRUE(testEnded(view));
    const auto buttons = view->deviceButtons();
    EXPECT_EQ(buttons[0]->subTitle(), "不可用");
    EXPECT_EQ(buttons[0]->subTitleColor(), kRed);
    EXPECT_TRUE(shownMilliseconds(buttons[1]));
    EXPECT_TRUE(service_.requests("/line/plain").empty());

    test::click(buttons[1]);
    EXPECT_EQ(apiBaseURL(), lineHost(service_, "ok") + "/api/v1");
    test::click(buttons[0]);
    EXPECT_EQ(apiBaseURL(), initialApiBaseURL());
    EXPECT_EQ(SettingsStore::hostChannelSelectType(), 0);
}

TEST_F(NetChannelViewTest, RefreshDuringATestDropsTheLateResults) {
    standin::setLineDelay(service_, "slow", 600ms);
    standin::setLineDocument(service_, json::array({line("慢线路", lineHost(service_, "slow"))}));
    NetChannelView* refreshed = makeView();
    NetChannelView* witness = makeView();  // same lines, never refreshed
    ASSERT_TRUE(waitForButtons(refreshed, 1));
    ASSERT_TRUE(waitForButtons(witness, 1));

    // The new document's lines are never tested, so its test ends at once with "不可用"
    // everywhere; only a late result of the old test could put a time on them.
    const std::string plain = "http://0.0.0.0:" + std::to_string(service_.port()) + "/line/x";
    standin::setLineDocument(service_,
                             json::array({line("新线路一", plain), line("新线路二", plain)}));
    refreshed->refreshChannels();
    ASSERT_TRUE(waitForButtons(refreshed, 2));
    ASSERT_TRUE(testEnded(refreshed));
    EXPECT_EQ(refreshed->deviceButtons()[0]->title(), "新线路一");

    // The old test's answer has come back (the witness got the same one) ...
    ASSERT_TRUE(testEnded(witness));
    ASSERT_TRUE(shownMilliseconds(witness->deviceButtons()[0]));
    test::runMainUntil([] { return false; }, 300ms);
    // ... and changed nothing on the refreshed list.
    EXPECT_EQ(subtitles(refreshed), QStringList({"不可用", "不可用"}));
}

TEST_F(NetChannelViewTest, FailedOrEmptyDocumentShowsTheMainlandLine) {
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"service error",
         [&] {
             service_.setFault("/meeting-network.json", Fault::serviceError(500, std::nullopt));
         }},
        {"not JSON", [&] { service_.setFault("/meeting-network.json", Fault::notJson()); }},
        {"data not a list",
         [&] {
             standin::setLineDocument(service_, {{"host", "x"}});
         }},
        {"no objects",
         [&] {
             standin::setLineDocument(service_, json::array({1, "x", nullptr}));
         }},
    };
    for (const auto& [name, arrange] : cases) {
        SCOPED_TRACE(name);
        service_.clearFaults();
        arrange();
        NetChannelView* view = makeView();
        ASSERT_TRUE(waitForButtons(view, 1));
        EXPECT_EQ(view->deviceButtons()[0]->title(), "自动线路");
        ASSERT_EQ(view->hostArrList().size(), 1u);
        EXPECT_EQ(view->hostArrList()[0].host(), service_.origin());
        EXPECT_EQ(apiBaseURL(), service_.apiBase());
        // The mainland line (the stand-in itself) is tested like any other.
        ASSERT_TRUE(testEnded(view));
        EXPECT_TRUE(shownMilliseconds(view->deviceButtons()[0]));
    }
}

TEST_F(NetChannelViewTest, SpeedResultsShowTheirTextAndColour) {
    const std::string plain = "http://0.0.0.0:" + std::to_string(service_.port()) + "/line/x";
    standin::setLineDocument(service_, json::array({line("线路", plain)}));
    NetChannelView* view = makeView();
    ASSERT_TRUE(waitForButtons(view, 1));
    ASSERT_TRUE(testEnded(view));  // nothing of the test comes later

    const struct {
        SpeedTestState state;
        const char* text;
        Color colour;
    } cases[] = {
        {SpeedTestState::success(42.4), "42ms", kGreen},
        {SpeedTestState::success(99.6), "100ms", kGreen},  // the colour uses the unrounded time
        {SpeedTestState::success(150), "150ms", kYellow},
        {SpeedTestState::success(500), "500ms", kOrange},
        {SpeedTestState::success(900), "900ms", kRed},
        {SpeedTestState::failure(), "不可用", kRed},
        {SpeedTestState::pending(), "测速中", systemGrayColor()},
    };
    ChannelButtonView* button = view->deviceButtons()[0];
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        view->applySpeedResult(c.state, 0);
        EXPECT_EQ(button->subTitle(), QString::fromUtf8(c.text));
        EXPECT_EQ(button->subTitleColor(), c.colour);
        EXPECT_EQ(view->hostArrList()[0].color, c.colour);
    }
    // Rows that do not exist are ignored.
    view->applySpeedResult(SpeedTestState::success(1), 1);
    view->applySpeedResult(SpeedTestState::success(1), -1);
    EXPECT_EQ(button->subTitle(), "测速中");
}

TEST(NetChannelViewRules, LatencyColourBands) {
    const struct {
        double ms;
        bool failed;
        Color colour;
    } cases[] = {
        {0, false, kGreen},      {99.99, false, kGreen}, {100, false, kYellow},
        {299.9, false, kYellow}, {300, false, kOrange},  {799.9, false, kOrange},
        {800, false, kRed},      {5000, false, kRed},    {-1, false, kRed},
        {42, true, kRed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NetChannelView::latencyColor(c.ms, c.failed), c.colour)
            << c.ms << (c.failed ? " failed" : "");
    }
}

TEST(NetChannelViewRules, NormalizeHost) {
    const struct {
        std::optional<std::string> host;
        std::optional<std::string> normalized;
    } cases[] = {
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {" \t\n", std::nullopt},
        {"line.example.com", "https://line.example.com"},
        {"line.example.com/", "https://line.example.com"},
        {"  https://line.example.com/api/v1/ \r\n", "https://line.example.com"},
        {"http://127.0.0.1:8080//", "http://127.0.0.1:8080"},
        {"https://line.example.com/api/v1//api/v1", "https://line.example.com/api/v1"},
        {"https://line.example.com/gateway/api/v1", "https://line.example.com/gateway"},
        {"\u00a0line.example.com\u3000", "https://line.example.com"},      // Unicode spaces
        {"HTTPS://line.example.com", "https://HTTPS://line.example.com"},  // schemes as written
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NetChannelView::normalizeHost(c.host), c.normalized)
            << c.host.value_or("(absent)");
    }
}

TEST(NetChannelViewRules, OnlyHttpsOrLoopbackHttpLinesAreUsable) {
    const struct {
        const char* address;
        bool usable;
    } cases[] = {
        {"https://line.example.com", true},
        {"https://line.example.com:8443/gateway", true},
        {"http://127.0.0.1:18620", true},
        {"http://127.8.0.1", true},
        {"http://localhost:8080", true},
        {"http://[::1]:8080", true},
        {"http://line.example.com", false},
        {"http://0.0.0.0", false},
        {"http://127.0.0.1.example.com", false},
        {"http://localhost.example.com", false},
        {"https://", false},
        {"ftp://127.0.0.1", false},
        {"https:", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NetChannelView::isUsableLineAddress(c.address), c.usable) << c.address;
    }
}

}  // namespace
}  // namespace pex
