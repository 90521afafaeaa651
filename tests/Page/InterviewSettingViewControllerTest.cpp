// The interview setup page over the fake audio hardware, against the local stand-in service:
// what the page stores and shows, the choices of its pop-ups and language labels, the low-balance
// tip, and a start that routes the sound, stores the history row and opens the session window.
// The fake hardware first: it has a member named like a Qt keyword macro.
#include "platform/coreaudio/FakeAudioHardware.h"
// clang-format off
#include "Page/AIInterviewPages/InterviewSettingViewController.h"
// clang-format on

#include <QMessageBox>
#include <QVBoxLayout>
#include <fstream>

#include "Page/SessionWindowFixture.h"
#include "Tools/NotificationNames.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/WindowLifecycle.h"
#include "audio/PXAudioRouter.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/Popover.h"
#include "platform/avfoundation/FakeCaptureAuthorization.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/StandardFolders.h"
#include "service/DateHelpers.h"
#include "service/GRDBDataManager.h"
#include "service/UserBaseModel.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using coreaudio::fourCC;

const DefaultsKey<AIInterviewModel> kSettings(SettingsKeys::aiInterviewSetModel);

std::optional<LanguageListModel> language(const char* key) {
    return SettingsStore::record(DefaultsKey<LanguageListModel>(key));
}
void storeLanguage(const char* key, const LanguageListModel& model) {
    SettingsStore::setRecord(std::optional(model), DefaultsKey<LanguageListModel>(key));
}
LanguageListModel japanese() {
    return LanguageListModel::fromJSON({{"ID", 5},
                                        {"name", "日语"},
                                        {"original_key", "ja-JP"},
                                        {"translation_key", "ja"},
                                        {"first_letters", "R"}});
}
LanguageListModel french() {
    return LanguageListModel::fromJSON({{"ID", 7},
                                        {"name", "法语"},
                                        {"original_key", "fr-FR"},
                                        {"translation_key", "fr"},
                                        {"first_letters", "F"}});
}

// The page with its start time fixed and, when asked, a session window that cannot open.
class TestPage : public InterviewSettingViewController {
  public:
    double currentSeconds() const override { return seconds; }
    bool openSessionWindow(std::int64_t historyId, const std::string& name) override {
        opened.emplace_back(historyId, name);
        if (windowFails) return false;
        if (!realWindow) return true;  // only counted
        return InterviewSettingViewController::openSessionWindow(historyId, name);
    }
    double seconds = 1765150000.25;
    bool windowFails = false;
    bool realWindow = true;
    std::vector<std::pair<std::int64_t, std::string>> opened;
};

class SetupPageTest : public SessionWindowTest {
  protected:
    SetupPageTest() {
        coreaudio::installBackend(hardware_);
        speakers_ = addDevice("Built-in Output", 0, 2);
        microphone_ = addDevice("Built-in Microphone", 1, 0);
        loopback_ = addDevice("velqoOutput 2ch", 2, 2);
        hardware_->setDefaultDevice(fourCC("dOut"), speakers_);
        hardware_->setDefaultDevice(fourCC("dIn "), microphone_);
        router_ = std::make_unique<PXAudioRouter>(PXAudioRouteState::defaultFile());
        ApplicationWindows::setKeyWindow(mainWindow_);
        StatusHUD::shared().containerView = mainWindow_;
    }
    ~SetupPageTest() override {
        if (window_) delete window_.data();
        delete page_;
        MainQueue::drain();
        StatusHUD::shared().hide(false);
        StatusHUD::shared().containerView = nullptr;
        ApplicationWindows::setKeyWindow(nullptr);
        AIInterviewDetailController::setAudioRouteRestorer(nullptr);
        CaptureAuthorization::install(nullptr);
        router_.reset();
        coreaudio::drainNotifications();
        MainQueue::drain();
        coreaudio::installBackend(nullptr);
    }

    coreaudio::AudioObjectID addDevice(const std::string& name, std::uint32_t in,
                                       std::uint32_t out) {
        return hardware_->addDevice(coreaudio::FakeDeviceSetup::named(name, in, out));
    }

    // The page in the main window, shown, with its appearance step run.
    TestPage* openPage() {
        page_ = new TestPage;
        page_->setAudioRouter(router_.get());
        auto* layout = new QVBoxLayout(mainWindow_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(page_->view());
        mainWindow_->resize(750, 500);
        mainWindow_->show();
        flush();
        return page_;
    }
    void signIn(std::int64_t secondsLeft) {
        UserBaseModel user;
        user.phone = kPhone;
        user.sumTimePackage = secondsLeft;
        SettingsStore::setRecord(std::optional(user), DefaultsKey<UserBaseModel>(kUserKey));
    }
    void storeSettings(std::int64_t deviceType, std::int64_t modelType) {
        AIInterviewModel model = AIInterviewModel::defaultRecord();
        model.deviceType = deviceType;
        model.modelType = modelType;
        SettingsStore::setRecord(std::optional(model), kSettings);
    }
    void choose(QComboBox* popup, const QString& title) {
        popup->setCurrentText(title);
        Q_EMIT popup->activated(popup->currentIndex());
    }
    static std::optional<HistoryRecord> row(std::int64_t id) {
        for (const HistoryRecord& record : GRDBDataManager::shared().fetchAllHistory()) {
            if (record.id == id) return record;
        }
        return std::nullopt;
    }
    coreaudio::AudioObjectID defaultInput() const {
        return hardware_->defaultDevice(fourCC("dIn "));
    }
    coreaudio::AudioObjectID aggregateID() const {
        for (coreaudio::AudioObjectID id : hardware_->devices()) {
            if (AudioDevice::lookup(id)->uid() == "kvt-Multi-Output_UID") return id;
        }
        return coreaudio::kNoObject;
    }
    static QString hudText() {
        StatusHUD& hud = StatusHUD::shared();
        return hud.isHidden() || !hud.statusLabel() ? QString() : hud.statusLabel()->text();
    }

    static constexpr const char* kUserKey = SettingsKeys::userInfo;
    std::shared_ptr<coreaudio::FakeAudioHardware> hardware_ =
        std::make_shared<coreaudio::FakeAudioHardware>();
    coreaudio::AudioObjectID speakers_ = 0, microphone_ = 0, loopback_ = 0;
    std::unique_ptr<PXAudioRouter> router_;
    TestPage* page_ = nullptr;
};

TEST_F(SetupPageTest, FirstLaunchStoresTheDefaultsAndShowsThem) {
    openPage();
    EXPECT_EQ(SettingsStore::record(kSettings), AIInterviewModel::defaultRecord());
    EXPECT_EQ(language(LanguageListModel::kChinaKey), LanguageListModel::defaultChina());
    EXPECT_EQ(language(LanguageListModel::kLeftKey), LanguageListModel::defaultLeft());
    EXPECT_EQ(language(LanguageListModel::kRightKey), LanguageListModel::defaultRight());
    EXPECT_EQ(page_->lelfLanguageLabel()->text(), QStringLiteral("中文（简体）"));
    EXPECT_EQ(page_->rightLanguageLabel()->text(), QStringLiteral("英语（美国）"));
    for (QComboBox* popup : {page_->stylePopup(), page_->modePopup(), page_->sequencPopup(),
                             page_->translatePopup()}) {
        EXPECT_EQ(popup->currentIndex(), 0);
    }
    EXPECT_FALSE(page_->rightLanguageLabel()->isHidden());
    // The default record records the microphone, and the label says so.
    EXPECT_EQ(page_->voiceLabel()->text(), QStringLiteral("麦克风声音"));
}

TEST_F(SetupPageTest, StoredSettingsAreShownEachTimeThePageAppears) {
    storeSettings(1, 1);
    storeLanguage(LanguageListModel::kChinaKey, japanese());
    openPage();
    EXPECT_EQ(page_->voiceLabel()->text(), QStringLiteral("系统声音"));
    EXPECT_EQ(page_->translatePopup()->currentText(), QStringLiteral("否"));
    EXPECT_EQ(page_->lelfLanguageLabel()->text(), QStringLiteral("日语"));
    EXPECT_TRUE(page_->rightLanguageLabel()->isHidden());
    EXPECT_TRUE(page_->outputLabel()->isHidden());

    // The AI settings page chose the microphone meanwhile.
    storeSettings(0, 0);
    page_->view()->hide();
    page_->view()->show();
    flush();
    EXPECT_EQ(page_->voiceLabel()->text(), QStringLiteral("麦克风声音"));
    EXPECT_EQ(page_->lelfLanguageLabel()->text(), QStringLiteral("中文（简体）"));
    EXPECT_FALSE(page_->rightLanguageLabel()->isHidden());
}

TEST_F(SetupPageTest, PopupsStoreTheirFieldByTitle) {
    openPage();
    struct Case {
        QComboBox* popup;
        QString title;
        std::int64_t AIInterviewModel::*field;
        std::int64_t expected;
    };
    const Case cases[] = {
        {page_->stylePopup(), QStringLiteral("关键词模式(推荐 自然)"),
         &AIInterviewModel::generateAnswerType, 2},
        {page_->stylePopup(), QStringLiteral("正式长难句(专业 深度)"),
         &AIInterviewModel::generateAnswerType, 1},
        {page_->modePopup(), QStringLiteral("点击生成"), &AIInterviewModel::antoAnswerType, 1},
        {page_->sequencPopup(), QStringLiteral("提示在上"), &AIInterviewModel::sequenceType, 1},
        {page_->sequencPopup(), QStringLiteral("提示在下"), &AIInterviewModel::sequenceType, 0},
        {page_->translatePopup(), QStringLiteral("否"), &AIInterviewModel::modelType, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        choose(c.popup, c.title);
        ASSERT_TRUE(SettingsStore::record(kSettings));
        EXPECT_EQ((*SettingsStore::record(kSettings)).*c.field, c.expected);
        EXPECT_EQ(page_->startAIModel().*c.field, c.expected);
    }
    EXPECT_EQ(console_.linesStartingWith("回答风格选择：关键词模式(推荐 自然)"), 1);
}

TEST_F(SetupPageTest, TheTranslateToggleHidesTheTargetAndRoutesTheLeftChoice) {
    storeLanguage(LanguageListModel::kChinaKey, japanese());
    openPage();
    choose(page_->translatePopup(), QStringLiteral("否"));
    EXPECT_EQ(SettingsStore::record(kSettings)->modelType, 1);
    EXPECT_TRUE(page_->outputLabel()->isHidden());
    EXPECT_TRUE(page_->rightLanguageLabel()->isHidden());
    EXPECT_EQ(page_->lelfLanguageLabel()->text(), QStringLiteral("日语"));

    // Translation off: the left label chooses the recognition language only.
    page_->languagePopupClicked(page_->lelfLanguageLabel());
    EXPECT_EQ(page_->source(), 1);
    EXPECT_TRUE(page_->popover()->isShown());
    page_->languageSelected(french());
    EXPECT_FALSE(page_->popover()->isShown());
    EXPECT_EQ(language(LanguageListModel::kChinaKey), french());
    EXPECT_EQ(language(LanguageListModel::kLeftKey), LanguageListModel::defaultLeft());
    EXPECT_EQ(page_->lelfLanguageLabel()->text(), QStringLiteral("法语"));

    choose(page_->translatePopup(), QStringLiteral("是"));
    EXPECT_EQ(SettingsStore::record(kSettings)->modelType, 0);
    EXPECT_FALSE(page_->outputLabel()->isHidden());
    EXPECT_FALSE(page_->rightLanguageLabel()->isHidden());
    EXPECT_EQ(page_->lelfLanguageLabel()->text(), QStringLiteral("中文（简体）"));

    // Translation on: the left label chooses the source language, the right one the target.
    page_->languagePopupClicked(page_->lelfLanguageLabel());
    page_->languageSelected(japanese());
    EXPECT_EQ(language(LanguageListModel::kLeftKey), japanese());
    EXPECT_EQ(language(LanguageListModel::kChinaKey), french());
    page_->languagePopupClicked(page_->rightLanguageLabel());
    EXPECT_EQ(page_->source(), 2);
    page_->languageSelected(french());
    EXPECT_EQ(language(LanguageListModel::kRightKey), french());
    EXPECT_EQ(page_->rightLanguageLabel()->text(), QStringLiteral("法语"));
}

TEST_F(SetupPageTest, TheGearAsksForTheSettingsPage) {
    openPage();
    std::vector<nlohmann::json> posted;
    ScopedObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(
            NotificationNames::aiSetting, nullptr,
            [&](const Notification& note) { posted.push_back(note.userInfo); }));
    click(page_->gearButton());
    EXPECT_EQ(posted, std::vector<nlohmann::json>{nlohmann::json({{"message", "打开设置"}})});
}

TEST_F(SetupPageTest, NoMinutesLeftGivesOnlyTheTip) {
    openPage();
    std::vector<nlohmann::json> posted;
    ScopedObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(
            NotificationNames::purchase, nullptr,
            [&](const Notification& note) { posted.push_back(note.userInfo); }));
    for (const std::int64_t balance : {std::int64_t{0}, std::int64_t{-30}}) {
        SCOPED_TRACE(balance);
        signIn(balance);
        storeSettings(1, 0);
        page_->loadSettings();
        click(page_->startButton());
        ASSERT_TRUE(page_->tipView()->isVisible());
        EXPECT_EQ(page_->tipView()->contentLabel()->text(), QStringLiteral("您的余额不足，请充值"));
        click(page_->tipView()->sureButton());
        advance(std::chrono::milliseconds(300));
        EXPECT_FALSE(page_->tipView()->isVisible());
    }
    EXPECT_EQ(posted, std::vector<nlohmann::json>(2, nlohmann::json({{"message", "去充值"}})));
    EXPECT_TRUE(page_->opened.empty());
    EXPECT_EQ(defaultInput(), microphone_);
    EXPECT_TRUE(hardware_->aggregateDescriptions().empty());
}

TEST_F(SetupPageTest, WithoutAUserTheStartDoesNothing) {
    openPage();
    click(page_->startButton());
    EXPECT_EQ(console_.linesStartingWith("开始面试"), 1);
    EXPECT_FALSE(page_->tipView()->isVisible());
    EXPECT_TRUE(page_->opened.empty());
    EXPECT_EQ(defaultInput(), microphone_);
}

TEST_F(SetupPageTest, StartRoutesSystemSoundStoresTheRowAndOpensTheWindow) {
    signIn(6000);
    storeSettings(1, 0);
    openPage();
    click(page_->startButton());
    EXPECT_EQ(defaultInput(), loopback_);
    EXPECT_EQ(hardware_->aggregateDescriptions().size(), 1u);
    // The session opens once the aggregate plays, a second later: till then nothing bills.
    EXPECT_TRUE(page_->opened.empty());
    EXPECT_FALSE(page_->startButton()->isEnabled());
    advance(std::chrono::seconds(1));
    EXPECT_EQ(hardware_->defaultDevice(fourCC("dOut")), aggregateID());
    EXPECT_TRUE(page_->startButton()->isEnabled());

    const std::string name = InterviewSettingViewController::sessionName(page_->seconds);
    EXPECT_EQ(name, "AI面试" + currentTimeStampString(1765150000));
    ASSERT_EQ(page_->opened.size(), 1u);
    EXPECT_EQ(page_->opened[0].second, name);
    const auto stored = row(page_->opened[0].first);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->title, name);
    EXPECT_EQ(stored->audioFileName, name);
    EXPECT_EQ(stored->historyFileName, name);
    EXPECT_DOUBLE_EQ(stored->timeStr, page_->seconds);
    EXPECT_EQ(stored->sourceLanguage, "中文（简体）");
    EXPECT_EQ(stored->resultLanguage, "英语（美国）");
    EXPECT_EQ(stored->modelType, 0);

    window_ = page_->sessionWindow();
    ASSERT_TRUE(window_);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("面试助攻"));
    auto* controller = qobject_cast<AIInterviewDetailController*>(window_->contentViewController());
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->historyId, page_->opened[0].first);
    EXPECT_EQ(controller->historyFileName, name);
    // The page's window, the main window, hides while the session runs.
    EXPECT_EQ(WindowLifecycle::shared().mainWindow(), mainWindow_.data());
    EXPECT_FALSE(mainWindow_->isVisible());
    // The session bills at once.
    EXPECT_TRUE(runMainUntil([&] { return !service_.requests("/consume/start").empty(); }));

    // Closing the session window puts the devices back once the capture has stopped.
    controller->closeSession();
    ASSERT_TRUE(runMainUntil([&] { return defaultInput() == microphone_; }));
    EXPECT_EQ(hardware_->defaultDevice(fourCC("dOut")), speakers_);
}

TEST_F(SetupPageTest, WhileASessionRunsTheStartBringsItsWindowForwardAndStartsNothing) {
    signIn(6000);
    storeSettings(1, 0);
    openPage();
    click(page_->startButton());
    advance(std::chrono::seconds(1));  // the aggregate plays: the session opens
    window_ = page_->sessionWindow();
    ASSERT_TRUE(window_);
    ASSERT_TRUE(runMainUntil([&] { return !service_.requests("/consume/start").empty(); }));
    // "Show Main Window" brought the page back meanwhile.
    mainWindow_->show();
    page_->seconds += 5;
    page_->startInterview();
    advance(std::chrono::seconds(1));  // long enough for a second routing to open its session
    EXPECT_EQ(page_->opened.size(), 1u);
    EXPECT_EQ(page_->sessionWindow(), window_.data());
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(console_.linesStartingWith("⚠️ 已有面试进行中"), 1);
    EXPECT_FALSE(row(static_cast<std::int64_t>(page_->seconds)));
    // The running session's route stays as it is.
    EXPECT_EQ(defaultInput(), loopback_);
    EXPECT_EQ(hardware_->aggregateDescriptions().size(), 1u);
    settle();
    EXPECT_EQ(service_.requests("/consume/start").size(), 1u);

    // Once that window is gone, the next session starts.
    auto* controller = qobject_cast<AIInterviewDetailController*>(window_->contentViewController());
    ASSERT_TRUE(controller);
    controller->closeSession();
    advance(std::chrono::seconds(3));
    ASSERT_TRUE(runMainUntil([&] { return window_.isNull(); }));
    advance(WindowLifecycle::kMainWindowReturnDelay);
    ASSERT_TRUE(mainWindow_->isVisible());
    page_->startInterview();
    advance(std::chrono::seconds(1));
    EXPECT_EQ(page_->opened.size(), 2u);
    window_ = page_->sessionWindow();
}

TEST_F(SetupPageTest, ARefusedStartPutsTheRouteBackAtOnceAndKeepsItsRow) {
    service_.setFault("/consume/start", standin::Fault::serviceError(1005, "余额不足，请充值"));
    signIn(6000);
    storeSettings(1, 0);
    openPage();
    click(page_->startButton());
    EXPECT_EQ(defaultInput(), loopback_);
    advance(std::chrono::seconds(1));  // the aggregate plays: the session opens
    window_ = page_->sessionWindow();
    ASSERT_TRUE(window_);
    // Refused: the window stays (its clock at zero), the desktop's sound does not.
    ASSERT_TRUE(runMainUntil([&] { return defaultInput() == microphone_; }));
    EXPECT_EQ(hardware_->defaultDevice(fourCC("dOut")), speakers_);
    ASSERT_TRUE(window_);
    EXPECT_TRUE(window_->isVisible());
    ASSERT_EQ(page_->opened.size(), 1u);
    EXPECT_TRUE(row(page_->opened[0].first));
    settle();
    advance(std::chrono::milliseconds(300));  // the service client's alert comes 0.25 s later
    EXPECT_EQ(serviceAlerts_->messages, std::vector<std::string>{"余额不足，请充值"});
}

TEST_F(SetupPageTest, AMicrophoneStartChecksThePermissionWithoutWaiting) {
    const auto permission = FakeCaptureAuthorization::install(AuthorizationStatus::notDetermined);
    hardware_->setDefaultDevice(fourCC("dIn "), speakers_);
    signIn(6000);
    storeSettings(0, 0);
    openPage();
    page_->realWindow = false;
    click(page_->startButton());
    EXPECT_EQ(hudText(), QStringLiteral("没有麦克风权限"));
    EXPECT_EQ(permission->requestCount(), 1);
    EXPECT_EQ(defaultInput(), microphone_);
    EXPECT_EQ(page_->opened.size(), 1u);  // the answer is still outstanding
}

TEST_F(SetupPageTest, SessionsStartedInTheSameSecondKeepTheirOwnNames) {
    signIn(6000);
    storeSettings(0, 0);
    openPage();
    page_->realWindow = false;
    page_->seconds = 1765160000.1;
    click(page_->startButton());
    page_->seconds = 1765160000.9;
    click(page_->startButton());
    ASSERT_EQ(page_->opened.size(), 2u);
    const std::string name = InterviewSettingViewController::sessionName(1765160000);
    EXPECT_EQ(page_->opened[0].second, name);
    EXPECT_EQ(page_->opened[1].second, name + "-2");
    EXPECT_NE(page_->opened[0].first, page_->opened[1].first);
    EXPECT_EQ(row(page_->opened[1].first)->audioFileName, name + "-2");
    // A recording already on disk under a name takes that name too.
    page_->seconds = 1765170000;
    const std::string later = InterviewSettingViewController::sessionName(1765170000);
    std::ofstream(StandardFolders::documents() / (later + ".wav")) << "RIFF";
    click(page_->startButton());
    EXPECT_EQ(page_->opened.back().second, later + "-2");
}

TEST_F(SetupPageTest, RecognitionOnlyRowsNameTheRecognitionLanguage) {
    storeLanguage(LanguageListModel::kChinaKey, japanese());
    signIn(6000);
    storeSettings(0, 1);
    openPage();
    page_->realWindow = false;
    page_->seconds = 1765180000;
    click(page_->startButton());
    ASSERT_EQ(page_->opened.size(), 1u);
    const auto stored = row(page_->opened[0].first);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->sourceLanguage, "日语");
    EXPECT_EQ(stored->resultLanguage, "");
    EXPECT_EQ(stored->modelType, 1);
}

TEST_F(SetupPageTest, AFailedStartPutsTheDevicesBackAndSaysSo) {
    signIn(6000);
    storeSettings(1, 0);
    openPage();
    page_->windowFails = true;
    page_->seconds = 1765190000;
    click(page_->startButton());
    advance(std::chrono::seconds(1));
    EXPECT_EQ(page_->opened.size(), 1u);
    EXPECT_EQ(defaultInput(), microphone_);
    EXPECT_TRUE(hardware_->aggregateDescriptions().empty() ||
                hardware_->defaultDevice(fourCC("dOut")) == speakers_);
    EXPECT_EQ(hudText(), QString::fromUtf8(InterviewSettingViewController::kStartFailedText));
    StatusHUD::shared().hide(false);

    // The history row cannot be stored: no window, devices back, the user told.
    page_->windowFails = false;
    page_->seconds = 1765190100;
    ASSERT_TRUE(GRDBDataManager::shared().dbQueue()->write([](Database& d) {
        return d.execute(
            "CREATE TRIGGER refuse BEFORE INSERT ON historyRecord "
            "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }));
    click(page_->startButton());
    advance(std::chrono::seconds(1));
    ASSERT_TRUE(GRDBDataManager::shared().dbQueue()->write(
        [](Database& d) { return d.execute("DROP TRIGGER refuse"); }));
    EXPECT_EQ(page_->opened.size(), 1u);
    EXPECT_EQ(defaultInput(), microphone_);
    EXPECT_EQ(hardware_->defaultDevice(fourCC("dOut")), speakers_);
    EXPECT_EQ(hudText(), QString::fromUtf8(InterviewSettingViewController::kStartFailedText));
}

// Routing that fails, at once or when the aggregate is to play a second later, starts no
// session (no row, no window, no billing): the devices go back and the user is told.
TEST_F(SetupPageTest, RoutingThatFailsStartsNoSessionAndSaysSo) {
    const coreaudio::AudioObjectPropertyAddress defaultOutput{fourCC("dOut"),
                                                              coreaudio::scope::global, 0};
    const coreaudio::AudioObjectPropertyAddress defaultInputAddress{fourCC("dIn "),
                                                                    coreaudio::scope::global, 0};
    using Operation = coreaudio::FakeAudioHardware::Operation;
    struct Case {
        std::string name;
        std::int64_t deviceType;
        std::function<void()> fault;
    };
    const std::vector<Case> cases = {
        {"the aggregate cannot be made", 1,
         [&] { hardware_->failNextAggregateCreation(coreaudio::status::illegalOperation); }},
        {"the aggregate does not become the output", 1,
         [&] {
             hardware_->failNext(coreaudio::kSystemObject, defaultOutput,
                                 coreaudio::status::unspecified, 1, Operation::Set);
         }},
        {"the loopback does not become the input", 1,
         [&] {
             hardware_->failNext(coreaudio::kSystemObject, defaultInputAddress,
                                 coreaudio::status::unspecified, 1, Operation::Set);
         }},
        {"the microphone does not become the input", 0,
         [&] {
             hardware_->setDefaultDevice(fourCC("dIn "), speakers_);
             hardware_->failNext(coreaudio::kSystemObject, defaultInputAddress,
                                 coreaudio::status::unspecified, 1, Operation::Set);
         }},
    };
    signIn(6000);
    openPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        storeSettings(c.deviceType, 0);
        page_->loadSettings();
        StatusHUD::shared().hide(false);
        const auto rowsBefore = GRDBDataManager::shared().fetchAllHistory().size();
        c.fault();
        click(page_->startButton());
        advance(std::chrono::seconds(1));
        EXPECT_TRUE(page_->opened.empty());
        EXPECT_EQ(GRDBDataManager::shared().fetchAllHistory().size(), rowsBefore);
        EXPECT_EQ(hudText(), QString::fromUtf8(InterviewSettingViewController::kRoutingFailedText));
        EXPECT_EQ(hardware_->defaultDevice(fourCC("dOut")), speakers_);
        EXPECT_EQ(defaultInput(), c.deviceType ? microphone_ : speakers_);
        EXPECT_EQ(aggregateID(), coreaudio::kNoObject);
        EXPECT_TRUE(page_->startButton()->isEnabled());
        hardware_->setDefaultDevice(fourCC("dIn "), microphone_);
    }
    advance(std::chrono::seconds(5));
    EXPECT_TRUE(service_.requests("/consume/start").empty());
}

// A machine without the loopback: the start offers to create it in a dialog over the window.
class LoopbackOfferTest : public SetupPageTest {
  protected:
    LoopbackOfferTest() {
        // The real dialog, answered by clicking its buttons.
        Alert::setModalHandlerForTesting(nullptr);
        hardware_->removeDevice(loopback_);
        signIn(6000);
        storeSettings(1, 0);
        openPage();
        page_->realWindow = false;
    }
    // The dialog the start shows (shown, modal to the main window), nothing when there is none.
    QMessageBox* offer() {
        for (auto* box : mainWindow_->findChildren<QMessageBox*>()) {
            if (box->isVisible()) return box;
        }
        return nullptr;
    }
    void answer(const char* button) {
        QMessageBox* box = offer();
        ASSERT_TRUE(box);
        for (QAbstractButton* candidate : box->buttons()) {
            if (candidate->text() == QString::fromUtf8(button)) {
                candidate->click();
                return;
            }
        }
        FAIL() << "no button " << button;
    }
    bool created() const {
        const auto operations = hardware_->operations();
        return std::find(operations.begin(), operations.end(), "CreateLoopback velqoOutput 2ch") !=
               operations.end();
    }
    coreaudio::AudioObjectID loopbackNow() const {
        for (coreaudio::AudioObjectID id : hardware_->devices()) {
            if (AudioDevice::lookup(id)->name() == "velqoOutput 2ch") return id;
        }
        return coreaudio::kNoObject;
    }
    using Page = InterviewSettingViewController;
};

TEST_F(LoopbackOfferTest, AcceptingCreatesTheLoopbackAndStartsWithSystemSound) {
    click(page_->startButton());
    QMessageBox* box = offer();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), QString::fromUtf8(Page::kLoopbackOfferTitle));
    EXPECT_TRUE(box->informativeText().contains(QStringLiteral("“velqoOutput 2ch”")));
    EXPECT_FALSE(page_->startButton()->isEnabled());
    EXPECT_TRUE(page_->opened.empty());  // nothing starts while the user decides
    EXPECT_FALSE(created());

    answer(Page::kCreateLoopbackButton);
    ASSERT_TRUE(runMainUntil([&] { return loopbackNow() != coreaudio::kNoObject; }));
    flush();
    advance(std::chrono::seconds(1));
    ASSERT_EQ(page_->opened.size(), 1u);
    EXPECT_TRUE(created());
    const coreaudio::AudioObjectID loopback = loopbackNow();
    ASSERT_NE(loopback, coreaudio::kNoObject);
    EXPECT_EQ(defaultInput(), loopback);
    ASSERT_EQ(hardware_->aggregateDescriptions().size(), 1u);
    EXPECT_EQ(hardware_->aggregateDescriptions()[0]["master"], "velqoOutput 2ch_UID");
    EXPECT_EQ(console_.linesStartingWith("✅ 成功创建回环设备：velqoOutput 2ch"), 1);
    EXPECT_TRUE(page_->startButton()->isEnabled());
    EXPECT_EQ(page_->opened.size(), 1u);

    // The next start (the first session's window closed) finds the loopback and asks nothing.
    router_->restore();
    StatusHUD::shared().hide(false);
    hardware_->clearOperations();
    click(page_->startButton());
    EXPECT_EQ(offer(), nullptr);
    advance(std::chrono::seconds(1));
    EXPECT_EQ(page_->opened.size(), 2u);
    EXPECT_FALSE(created());
}

TEST_F(LoopbackOfferTest, DecliningCreatesNothingAndSaysWhy) {
    click(page_->startButton());
    answer(Page::kCancelButton);
    MainQueue::drain();
    EXPECT_EQ(offer(), nullptr);
    EXPECT_FALSE(created());
    EXPECT_EQ(loopbackNow(), coreaudio::kNoObject);
    EXPECT_TRUE(page_->opened.empty());
    EXPECT_EQ(defaultInput(), microphone_);
    EXPECT_TRUE(hardware_->aggregateDescriptions().empty());
    EXPECT_EQ(hudText(), QString::fromUtf8(Page::kLoopbackDeclinedText));
    EXPECT_TRUE(page_->startButton()->isEnabled());
    // The choice itself is kept: the next start asks again.
    EXPECT_EQ(SettingsStore::record(kSettings)->deviceType, 1);
    StatusHUD::shared().hide(false);
    click(page_->startButton());
    EXPECT_TRUE(offer());
    answer(Page::kCancelButton);
}

TEST_F(LoopbackOfferTest, AFailedCreationStartsNothingAndSaysWhy) {
    const std::vector<std::pair<coreaudio::AudioStatus, const char*>> cases = {
        {coreaudio::status::unspecified, Page::kLoopbackFailedText},
        {coreaudio::status::notRunning, Page::kNoSoundServerText},
    };
    for (const auto& [failure, message] : cases) {
        SCOPED_TRACE(message);
        StatusHUD::shared().hide(false);
        hardware_->failNextLoopbackCreation(failure);
        click(page_->startButton());
        answer(Page::kCreateLoopbackButton);
        ASSERT_TRUE(runMainUntil([&] { return page_->startButton()->isEnabled(); }));
        EXPECT_EQ(hudText(), QString::fromUtf8(message));
        EXPECT_EQ(loopbackNow(), coreaudio::kNoObject);
        EXPECT_TRUE(page_->opened.empty());
        EXPECT_EQ(defaultInput(), microphone_);
        EXPECT_TRUE(hardware_->aggregateDescriptions().empty());
    }
}

}  // namespace
}  // namespace pex::test
