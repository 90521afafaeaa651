#pragma once
// The interview setup page (tag 0), the first page of every main window. Here the user sets up
// the next interview — answer style, answer mode, order of hints, whether to translate, the
// language heard and the language translated into — and starts it. The audio source is chosen
// on the AI settings page and only shown here; the gear leads there.
//
// Every choice is stored at once ("aiInterviewSetModel" and the three language keys), and the
// session window reads the same keys, so what this page shows is what the session uses. Each
// time the page appears it shows the stored settings again, filling in the defaults on first
// use.
//
// Start: a signed-in user with minutes left gets the audio routed (system sound through the
// loopback, or the microphone after the permission check), then, once the sound reaches the
// recorder, a new history row and the floating session window; the main window is hidden until
// the session window closes. Routing that fails starts no session: the devices go back and the
// user is told. While a session window is open no other session starts: its window comes to
// the front instead. Main thread only.
//
// System sound needs the loopback device on the sound server. When it is missing the start
// offers to create it (as a driver's installer would): accepted, it is created off the main
// thread and the start goes on; declined or failed, the session does not start and the user is
// told why, the stored choice staying as it is.
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <cstdint>
#include <optional>
#include <string>

#include "Page/AIInterviewPages/LanguageSelectorDelegate.h"
#include "Tools/BaseViewController.h"
#include "Tools/CommonTipView.h"
#include "Tools/ContentWindow.h"
#include "service/AIInterviewModel.h"
#include "service/LanguageListModel.h"

namespace pex {

class Popover;
class PXAudioRouter;

class InterviewSettingViewController : public BaseViewController, public LanguageSelectorDelegate {
    Q_OBJECT
  public:
    static constexpr const char* kMicrophoneText = "麦克风声音";
    static constexpr const char* kSystemSoundText = "系统声音";
    static constexpr const char* kNoLanguageText = "请选择语言";
    static constexpr const char* kStartFailedText = "面试未能开始，请稍后重试";
    static constexpr const char* kRoutingFailedText =
        "无法切换音频设备，面试未开始。请检查声音设置后重试";
    static constexpr const char* kLoopbackOfferTitle = "录制系统声音需要创建回环设备";
    static constexpr const char* kLoopbackOfferText =
        "声音服务器中没有回环设备“%1”。创建后，电脑播放的声音会同时送到扬声器和回环设备，"
        "面试录音即可听到系统声音。是否现在创建？";
    static constexpr const char* kCreateLoopbackButton = "创建";
    static constexpr const char* kCancelButton = "取消";
    static constexpr const char* kCreatingLoopbackText = "正在创建回环设备…";
    static constexpr const char* kLoopbackDeclinedText =
        "未创建回环设备，无法录制系统声音。可在“面试设置”中改选麦克风声音";
    static constexpr const char* kLoopbackFailedText = "回环设备创建失败，无法录制系统声音";
    static constexpr const char* kNoSoundServerText = "未连接到声音服务器，无法创建回环设备";

    explicit InterviewSettingViewController(QObject* parent = nullptr);
    ~InterviewSettingViewController() override;

    // The session's name: "AI面试" and the start time as "yyMMdd_HHmmss" in local time.
    static std::string sessionName(double secondsSince1970);

    // Actions.
    void startInterview();
    void openSettings();
    void popupSelectionChanged(QComboBox* popup);
    void languagePopupClicked(QLabel* label);

    // LanguageSelectorDelegate.
    void languageSelected(const LanguageListModel& language) override;

    // Steps, in the order a start runs them.
    virtual void loadSettings();
    virtual void beginInterview();
    // Stores the history row and opens the session window; false when either failed (the
    // routing is then put back and the user told).
    virtual bool openSession();
    // Opens the session window for the stored row and hides the page's window; false when the
    // window could not be opened.
    virtual bool openSessionWindow(std::int64_t historyId, const std::string& fileName);
    virtual void showLanguagePopover(QLabel* label);
    // Seconds since 1970 now; the start time of a session.
    virtual double currentSeconds() const;

    // The router a start uses; the application's shared one unless a test sets another.
    void setAudioRouter(PXAudioRouter* router) { router_ = router; }
    PXAudioRouter& audioRouter();

    // State.
    CommonTipView* tipView() const { return tipView_.data(); }
    const AIInterviewModel& startAIModel() const { return startAIModel_; }
    const std::optional<LanguageListModel>& chinaLangModel() const { return chinaLangModel_; }
    const std::optional<LanguageListModel>& lelfLangModel() const { return lelfLangModel_; }
    const std::optional<LanguageListModel>& rightLangModel() const { return rightLangModel_; }
    int source() const { return source_; }
    Popover* popover() const { return popover_; }
    ContentWindow* sessionWindow() const { return sessionWindow_.data(); }

    // Views (made with the view).
    QLabel* voiceLabel() const { return voiceLabel_; }
    QLabel* lelfLanguageLabel() const { return lelfLanguageLabel_; }
    QLabel* rightLanguageLabel() const { return rightLanguageLabel_; }
    QLabel* outputLabel() const { return outputLabel_; }
    QComboBox* stylePopup() const { return stylePopup_; }
    QComboBox* modePopup() const { return modePopup_; }
    QComboBox* sequencPopup() const { return sequencPopup_; }
    QComboBox* translatePopup() const { return translatePopup_; }
    QPushButton* startButton() const { return startButton_; }
    QPushButton* gearButton() const { return gearButton_; }

  protected:
    void loadView() override;
    void setupUI() override;
    void setupConstraints() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void pageWillAppear();
    QComboBox* makePopup(const QStringList& titles, int tag);
    QLabel* makeLanguageLabel(int tag);
    QLabel* makeCaption(const QString& text);
    // Shows the recognition language alone (translation off) or both languages.
    void showLanguagesForMode();
    void storeSettings();
    // A name no stored session or recording uses yet: `name`, else `name` with "-2", "-3"...
    static std::string unusedSessionName(const std::string& name);
    void startFailed();
    // Routes the sound for the stored source and opens the session once it is routed.
    void routeAudioAndOpenSession();
    void audioRouted(bool routed);
    // The loopback is missing: asks whether to create it, then creates it or says why not.
    void offerLoopbackDevice();
    void createLoopbackDevice();
    void loopbackUnavailable(const char* message);

    QPointer<CommonTipView> tipView_;
    AIInterviewModel startAIModel_ = AIInterviewModel::defaultRecord();
    std::optional<LanguageListModel> chinaLangModel_;
    std::optional<LanguageListModel> lelfLangModel_;
    std::optional<LanguageListModel> rightLangModel_;
    int source_ = 1;
    Popover* popover_ = nullptr;
    PXAudioRouter* router_ = nullptr;
    // From the offer of the loopback until its creation ended: a start waits for that.
    bool preparingLoopback_ = false;
    // A start waits for its sound to be routed (a second for system sound).
    bool routing_ = false;
    QPointer<ContentWindow> sessionWindow_;

    QLabel* voiceLabel_ = nullptr;
    QLabel* clockLabel_ = nullptr;
    QLabel* styleCaption_ = nullptr;
    QLabel* modeCaption_ = nullptr;
    QLabel* sequenceCaption_ = nullptr;
    QLabel* translateCaption_ = nullptr;
    QLabel* languageCaption_ = nullptr;
    QLabel* lelfLanguageLabel_ = nullptr;
    QLabel* rightLanguageLabel_ = nullptr;
    QLabel* outputLabel_ = nullptr;
    QComboBox* stylePopup_ = nullptr;
    QComboBox* modePopup_ = nullptr;
    QComboBox* sequencPopup_ = nullptr;
    QComboBox* translatePopup_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* gearButton_ = nullptr;
};

}  // namespace pex
