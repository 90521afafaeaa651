// One interview from the setup page to the stored session, with real parts only: the
// application's main window and pages on Qt's offscreen platform, a private PulseAudio daemon
// with speakers, the loopback and a microphone, the stand-in service over HTTP, and the cloud
// recogniser against the stand-in's speech endpoint (the backend the run command uses). A
// speech-like sound plays on the speakers; system sound routes it into the recorder.
#include <sndfile.h>
#include <sys/types.h>

#include <QComboBox>
#include <QPushButton>
#include <chrono>

#include "Main/ContentContainerViewController.h"
#include "Main/ShellFixture.h"
#include "Main/ViewController.h"
#include "Main/WindowFactory.h"
#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Page/AIInterviewPages/InterviewSettingViewController.h"
#include "Tools/WindowLifecycle.h"
#include "audio/PXAudioRouter.h"
#include "audio/PXRecorderManager.h"
#include "demo-sound/SpeechLikeSample.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/coreaudio/InterviewAudio.h"
#include "platform/coreaudio/PulseAudioHardware.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/speech/CloudSpeechBackend.h"
#include "platform/speech/SpeechBackend.h"
#include "service/GRDBDataManager.h"
#include "standin-service/SpeechSocketServer.h"
#include "support/PulseAudioServer.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using namespace std::chrono_literals;
using SteadyTime = std::chrono::steady_clock::time_point;

struct WavInfo {
    int format = 0;
    int sampleRate = 0;
    int channels = 0;
    double seconds = 0;
};

std::optional<WavInfo> readWavInfo(const std::filesystem::path& file) {
    SF_INFO info{};
    SNDFILE* handle = sf_open(file.c_str(), SFM_READ, &info);
    if (!handle) return std::nullopt;
    sf_close(handle);
    return WavInfo{info.format, info.samplerate, info.channels,
                   static_cast<double>(info.frames) / info.samplerate};
}

// The stored transcript lines of the session that carry their answer.
int answeredLines(std::int64_t historyId) {
    int answered = 0;
    for (const auto& line : GRDBDataManager::shared().fetchTranslationDetails(historyId)) {
        if (!line.aiResultText.empty()) ++answered;
    }
    return answered;
}

double secondsBetween(SteadyTime from, SteadyTime to) {
    return std::chrono::duration<double>(to - from).count();
}

class InterviewRoadTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(sound_.isRunning()) << sound_.log();
        addInterviewDevices(sound_);
        if (HasFatalFailure()) return;
        hardware_ = coreaudio::PulseAudioHardware::connect();
        ASSERT_NE(hardware_, nullptr);
        coreaudio::installBackend(hardware_);
        router_ = std::make_unique<PXAudioRouter>(PXAudioRouteState::defaultFile());

        ASSERT_NE(speech_.start(), 0);
        SpeechBackend::setCurrent(std::make_shared<CloudSpeechBackend>(CloudSpeechEndpoints{
            speech_.endpoint("/speech/recognition"), speech_.endpoint("/speech/translation")}));

        service_.state().setBalance(kPhone, 6000);
        signIn(true);
        // The account as the login stored it, with the minutes the service holds.
        auto user = SettingsStore::record(DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
        ASSERT_TRUE(user);
        user->sumTimePackage = 6000;
        SettingsStore::setRecord(user, DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
        AIInterviewModel settings = AIInterviewModel::defaultRecord();
        settings.deviceType = 1;      // system sound
        settings.modelType = 0;       // translate
        settings.antoAnswerType = 0;  // answers come by themselves
        SettingsStore::setRecord(std::optional(settings),
                                 DefaultsKey<AIInterviewModel>(AIInterviewModel::kSettingsKey));
    }
    void TearDown() override {
        runMainUntil([] { return !PXRecorderManager::shared().recorder().isStarted(); });
        AIInterviewDetailController::setAudioRouteRestorer(nullptr);
        ShellTest::TearDown();
        SpeechBackend::setCurrent(nullptr);
        speech_.stop();
        router_.reset();
        coreaudio::drainNotifications();
        MainQueue::drain();
        coreaudio::installBackend(nullptr);
        hardware_.reset();
    }

    std::string defaultUID(bool input) {
        const auto device =
            input ? router_->hub().defaultInputDevice() : router_->hub().defaultOutputDevice();
        return device ? device->uid().value_or("") : "";
    }

    PulseAudioServer sound_{noDevices()};
    std::shared_ptr<coreaudio::PulseAudioHardware> hardware_;
    std::unique_ptr<PXAudioRouter> router_;
    standin::SpeechSocketServer speech_;
};

TEST_F(InterviewRoadTest, ASystemSoundSessionRunsFromTheSetupPageToTheStoredSession) {
    // Someone speaks on the computer: the sound plays on the speakers from before the start.
    const auto wav = root() / "speech.wav";
    ASSERT_TRUE(demo::SpeechLikeSample::writeWav(wav, 30));
    SoundPlayer player(sound_, wav, root() / "player.pid");

    QPointer<ContentWindow> mainWindow =
        WindowLifecycle::shared().openMainWindow(QStringLiteral("主面板"));
    auto* shell = qobject_cast<shell::ViewController*>(mainWindow->contentViewController());
    ASSERT_TRUE(shell);
    auto* page = qobject_cast<InterviewSettingViewController*>(shell->container()->currentVC());
    ASSERT_TRUE(page);
    page->setAudioRouter(router_.get());
    // The page shows the stored settings once it is on screen.
    ASSERT_TRUE(runMainUntil([&] { return page->lelfLanguageLabel()->text() == "中文（简体）"; }));
    EXPECT_EQ(page->voiceLabel()->text(), "系统声音");

    click(page->startButton());
    // Routed: the loopback records, and a second later the aggregate plays.
    EXPECT_EQ(defaultUID(true), "velqo_2ch");
    ASSERT_TRUE(runMainUntil([&] { return defaultUID(false) == "kvt-Multi-Output_UID"; }));

    QPointer<ContentWindow> window = page->sessionWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(mainWindow->isVisible());
    QPointer<AIInterviewDetailController> controller =
        qobject_cast<AIInterviewDetailController*>(window->contentViewController());
    ASSERT_TRUE(controller);
    const std::int64_t historyId = controller->historyId;
    const std::string name = controller->historyFileName;
    bool rowStored = false;
    for (const HistoryRecord& row : GRDBDataManager::shared().fetchAllHistory()) {
        rowStored = rowStored || (row.id == historyId && row.audioFileName == name);
    }
    EXPECT_TRUE(rowStored);

    // Billing opens, the token comes, recognition starts.
    ASSERT_TRUE(runMainUntil([&] { return controller->isTranslating; }, 20s));
    const SteadyTime recordingStarted = std::chrono::steady_clock::now();
    EXPECT_EQ(service_.requests("/consume/start").size(), 1u);
    EXPECT_FALSE(service_.requests("/microsoft/get_token").empty());

    // The sound reaches recognition: transcript rows, then answers that stream in and are stored.
    ASSERT_TRUE(runMainUntil([&] { return controller->topArr.size() >= 2; }, 60s));
    ASSERT_TRUE(runMainUntil(
        [&] {
            return answeredLines(historyId) > 0 && !controller->streamModels.empty() &&
                   !controller->streamModels.front()->responseText.empty();
        },
        60s));
    EXPECT_FALSE(controller->topArr.front().sourceText.empty());
    EXPECT_FALSE(controller->topArr.front().resultText.empty());
    EXPECT_EQ(speech_.connections().front().path, "/speech/translation");

    // Closing the window ends the session.
    window->close();
    const SteadyTime recordingStopped = std::chrono::steady_clock::now();
    ASSERT_TRUE(runMainUntil(
        [&] {
            const auto reports = service_.requests("/consume/update_consume");
            return !reports.empty() && reports.back().json().value("status", 0) == 2;
        },
        20s));
    // The devices go back once the capture has stopped and the report is answered.
    ASSERT_TRUE(runMainUntil([&] { return defaultUID(false) == "speakers"; }, 20s));
    EXPECT_EQ(defaultUID(true), "usb_mic");
    EXPECT_EQ(AudioDevice::lookupByUID("kvt-Multi-Output_UID"), nullptr);
    ASSERT_TRUE(runMainUntil([&] { return !window; }, 20s));
    ASSERT_TRUE(runMainUntil([&] { return mainWindow && mainWindow->isVisible(); }));
    ASSERT_TRUE(runMainUntil([] { return !PXRecorderManager::shared().recorder().isStarted(); }));

    // What the session kept: the lines, the answers and the recording of the session's length.
    const auto lines = GRDBDataManager::shared().fetchTranslationDetails(historyId);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_FALSE(lines.front().sourceText.empty());
    // Automatic answers are kept with the sentence they answer.
    EXPECT_GE(answeredLines(historyId), 1);
    const auto recording = readWavInfo(StandardFolders::documents() / (name + ".wav"));
    ASSERT_TRUE(recording);
    EXPECT_EQ(recording->format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(recording->sampleRate, 16000);
    EXPECT_EQ(recording->channels, 1);
    const double sessionSeconds = secondsBetween(recordingStarted, recordingStopped);
    EXPECT_GT(recording->seconds, sessionSeconds - 2.0);
    EXPECT_LT(recording->seconds, sessionSeconds + 1.0);
}

}  // namespace
}  // namespace pex::test
