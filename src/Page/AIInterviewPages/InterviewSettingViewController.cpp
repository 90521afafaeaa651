#include "Page/AIInterviewPages/InterviewSettingViewController.h"

#include <QEvent>
#include <QIcon>
#include <filesystem>

#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"
#include "Page/AIInterviewPages/LanguageListViewController.h"
#include "Page/ViewAppearance.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/ContentWindow.h"
#include "Tools/NotificationNames.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/ViewHelpers.h"
#include "Tools/WindowLifecycle.h"
#include "audio/MicroManagement.h"
#include "audio/PXAudioRouter.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/Popover.h"
#include "platform/appkit/SystemFont.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/StandardFolders.h"
#include "service/ConsoleLog.h"
#include "service/DateHelpers.h"
#include "service/GRDBDataManager.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"

namespace pex {

namespace {

constexpr QSize kPopupSize{160, 32};
constexpr QSize kStartSize{200, 40};
constexpr int kLeft = 30;
constexpr int kColumnGap = 30;

const QStringList kStyleTitles{QStringLiteral("口语化短句(易读 地道)"),
                               QStringLiteral("正式长难句(专业 深度)"),
                               QStringLiteral("关键词模式(推荐 自然)")};
const QStringList kModeTitles{QStringLiteral("自动生成"), QStringLiteral("点击生成")};
const QStringList kSequenceTitles{QStringLiteral("提示在下"), QStringLiteral("提示在上")};
const QStringList kTranslateTitles{QStringLiteral("是"), QStringLiteral("否")};

const DefaultsKey<AIInterviewModel> kSettingsKey(SettingsKeys::aiInterviewSetModel);

std::optional<LanguageListModel> storedLanguage(const char* key) {
    return SettingsStore::record(DefaultsKey<LanguageListModel>(key));
}
void storeLanguage(const LanguageListModel& language, const char* key) {
    SettingsStore::setRecord(std::optional(language), DefaultsKey<LanguageListModel>(key));
}
// Reads `key`, storing `fallback` there first when it holds no record.
std::optional<LanguageListModel> languageOrDefault(const char* key,
                                                   const LanguageListModel& fallback) {
    if (!storedLanguage(key)) storeLanguage(fallback, key);
    return storedLanguage(key);
}
QString nameOf(const std::optional<LanguageListModel>& language) {
    return language ? QString::fromStdString(language->name) : QString();
}

int tagOf(const QObject* object) {
    return object->property("tag").toInt();
}

// Places `view` at `left`, `gap` below `above`, at `size`.
void placeBelow(QWidget* view, const QWidget* above, int gap, int left, QSize size) {
    view->setGeometry(left, above->y() + above->height() + gap, size.width(), size.height());
}
// Places a label at its own size, `gap` right of `beside`, centred vertically on `centreOn`.
void placeBeside(QLabel* label, const QWidget* beside, int gap, const QWidget* centreOn) {
    const QSize size = label->sizeHint();
    label->setGeometry(beside->x() + beside->width() + gap,
                       centreOn->geometry().center().y() - size.height() / 2, size.width(),
                       size.height());
}

}  // namespace

InterviewSettingViewController::InterviewSettingViewController(QObject* parent)
    : BaseViewController(parent), popover_(new Popover(this)) {
    setTitle(QStringLiteral("面试助攻"));
    auto* tip = new CommonTipView;
    tip->resize(300, 140);
    tip->titleLabel()->setText(QStringLiteral("温馨提示"));
    tip->contentLabel()->setText(QStringLiteral("您的余额不足，请充值"));
    tip->cancelButton()->setText(QStringLiteral("取消"));
    tip->sureButton()->setText(QStringLiteral("充值"));
    tipView_ = tip;
}

InterviewSettingViewController::~InterviewSettingViewController() {
    // The tip belongs to the pop-up host while it is shown; otherwise it is the page's.
    if (tipView_ && !tipView_->parent()) delete tipView_.data();
}

std::string InterviewSettingViewController::sessionName(double secondsSince1970) {
    return "AI面试" + currentTimeStampString(secondsSince1970);
}

PXAudioRouter& InterviewSettingViewController::audioRouter() {
    return router_ ? *router_ : PXAudioRouter::shared();
}

void InterviewSettingViewController::loadView() {
    auto* page = new QWidget;
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, QColor(240, 251, 249));
    page->setPalette(palette);
    page->setAutoFillBackground(true);
    setView(page);
}

QLabel* InterviewSettingViewController::makeCaption(const QString& text) {
    QLabel* label = makeTextLabel(text, view());
    label->setFont(systemFont(13));
    setTextColor(label, Color::grey(0));
    return label;
}

QComboBox* InterviewSettingViewController::makePopup(const QStringList& titles, int tag) {
    auto* popup = new QComboBox(view());
    popup->addItems(titles);
    popup->setProperty("tag", tag);
    popup->setStyleSheet(QStringLiteral("QComboBox { border-radius: 12px; }"));
    connect(popup, &QComboBox::activated, this, [this, popup] { popupSelectionChanged(popup); });
    return popup;
}

QLabel* InterviewSettingViewController::makeLanguageLabel(int tag) {
    QLabel* label = makeTextLabel(QString::fromUtf8(kNoLanguageText), view());
    label->setFont(systemFont(14));
    label->setProperty("tag", tag);
    label->setAlignment(Qt::AlignCenter);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setStyleSheet(QStringLiteral(
        "QLabel { background: rgb(220, 248, 241); border-radius: 12px; color: black; }"));
    label->setCursor(Qt::PointingHandCursor);
    const QPointer<InterviewSettingViewController> weak(this);
    ClickGestureRecognizer::attach(label, [weak, label](ClickGestureRecognizer&) {
        if (weak) weak->languagePopupClicked(label);
    });
    return label;
}

void InterviewSettingViewController::setupUI() {
    BaseViewController::setupUI();
    QWidget* page = view();
    voiceLabel_ = makeTextLabel(QString::fromUtf8(kSystemSoundText), page);
    voiceLabel_->setFont(systemFont(14, 0.4));
    setTextColor(voiceLabel_, Color::rgb(0, 206 / 255.0, 176 / 255.0));
    clockLabel_ = makeTextLabel(QStringLiteral("00:00:00"), page);
    clockLabel_->setFont(systemFont(14));
    setTextColor(clockLabel_, Color::grey(0));

    styleCaption_ = makeCaption(QStringLiteral("提示风格"));
    stylePopup_ = makePopup(kStyleTitles, 0);
    modeCaption_ = makeCaption(QStringLiteral("灵感提示"));
    modePopup_ = makePopup(kModeTitles, 1);
    sequenceCaption_ = makeCaption(QStringLiteral("排列方式"));
    sequencPopup_ = makePopup(kSequenceTitles, 2);
    translateCaption_ = makeCaption(QStringLiteral("是否翻译"));
    translatePopup_ = makePopup(kTranslateTitles, 3);
    languageCaption_ = makeCaption(QStringLiteral("识别语言"));
    lelfLanguageLabel_ = makeLanguageLabel(1);
    outputLabel_ = makeCaption(QStringLiteral("翻译语言"));
    rightLanguageLabel_ = makeLanguageLabel(2);

    startButton_ = new QPushButton(QStringLiteral("开始面试"), page);
    startButton_->setFlat(true);
    startButton_->setCursor(Qt::PointingHandCursor);
    startButton_->setStyleSheet(
        QStringLiteral("QPushButton { color: white; border: 0px; border-radius: 8px; "
                       "background: rgb(0, 206, 176); font-size: 14px; }"));
    connect(startButton_, &QPushButton::clicked, this, [this] { startInterview(); });

    // The desktop's "settings" symbol where the theme has one; a gear character otherwise, so
    // the way to the settings is never invisible.
    gearButton_ = new QPushButton(page);
    gearButton_->setFlat(true);
    const QIcon gear = QIcon::fromTheme(QStringLiteral("preferences-system"));
    if (gear.isNull()) {
        gearButton_->setText(QString::fromUtf8("\u2699"));
        gearButton_->setFont(systemFont(18));
    } else {
        gearButton_->setIcon(gear);
        gearButton_->setIconSize(QSize(24, 24));
    }
    gearButton_->setCursor(Qt::PointingHandCursor);
    gearButton_->setAccessibleName(QStringLiteral("面试设置"));
    gearButton_->setStyleSheet(QStringLiteral("QPushButton { border: 0px; }"));
    connect(gearButton_, &QPushButton::clicked, this, [this] { openSettings(); });

    page->installEventFilter(this);
    const QPointer<InterviewSettingViewController> weak(this);
    ViewAppearance::observe(page, [weak] {
        if (weak) weak->pageWillAppear();
    });
}

void InterviewSettingViewController::setupConstraints() {
    QWidget* page = view();
    voiceLabel_->setGeometry(QRect(QPoint(kLeft, 20), voiceLabel_->sizeHint()));
    placeBelow(clockLabel_, voiceLabel_, 4, kLeft, clockLabel_->sizeHint());
    placeBelow(styleCaption_, clockLabel_, 40, kLeft, styleCaption_->sizeHint());
    placeBelow(stylePopup_, styleCaption_, 4, kLeft, kPopupSize);
    placeBeside(modeCaption_, stylePopup_, kColumnGap, styleCaption_);
    placeBelow(modePopup_, modeCaption_, 4, modeCaption_->x(), kPopupSize);
    placeBeside(sequenceCaption_, modePopup_, kColumnGap, styleCaption_);
    placeBelow(sequencPopup_, sequenceCaption_, 4, sequenceCaption_->x(), kPopupSize);
    placeBelow(translateCaption_, stylePopup_, 20, kLeft, translateCaption_->sizeHint());
    placeBelow(translatePopup_, translateCaption_, 4, kLeft, kPopupSize);
    placeBelow(languageCaption_, stylePopup_, 20, modeCaption_->x(), languageCaption_->sizeHint());
    placeBelow(lelfLanguageLabel_, languageCaption_, 4, languageCaption_->x(), kPopupSize);
    placeBeside(outputLabel_, lelfLanguageLabel_, kColumnGap, languageCaption_);
    placeBelow(rightLanguageLabel_, outputLabel_, 4, outputLabel_->x(), kPopupSize);
    placeBelow(startButton_, rightLanguageLabel_, 40, (page->width() - kStartSize.width()) / 2,
               kStartSize);
    gearButton_->setGeometry(page->width() - 10 - 24, 10, 24, 24);
}

bool InterviewSettingViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewIfLoaded() && event->type() == QEvent::Resize) setupConstraints();
    return BaseViewController::eventFilter(watched, event);
}

void InterviewSettingViewController::pageWillAppear() {
    const QPointer<InterviewSettingViewController> weak(this);
    DispatchQueue::main().async([weak] {
        if (!weak || !weak->voiceLabel_) return;
        weak->loadSettings();
        // The source the next session will record: the stored record, or the default one
        // (the microphone) that loading has just stored on first use.
        const bool microphone = weak->startAIModel_.deviceType == 0;
        weak->voiceLabel_->setText(
            QString::fromUtf8(microphone ? kMicrophoneText : kSystemSoundText));
        weak->voiceLabel_->adjustSize();
    });
}

void InterviewSettingViewController::loadSettings() {
    chinaLangModel_ =
        languageOrDefault(LanguageListModel::kChinaKey, LanguageListModel::defaultChina());
    lelfLangModel_ =
        languageOrDefault(LanguageListModel::kLeftKey, LanguageListModel::defaultLeft());
    rightLangModel_ =
        languageOrDefault(LanguageListModel::kRightKey, LanguageListModel::defaultRight());
    if (const auto stored = SettingsStore::record(kSettingsKey)) {
        startAIModel_ = *stored;
    } else {
        storeSettings();
    }
    if (!stylePopup_) return;
    rightLanguageLabel_->setText(nameOf(rightLangModel_));
    stylePopup_->setCurrentIndex(static_cast<int>(startAIModel_.generateAnswerType));
    modePopup_->setCurrentIndex(static_cast<int>(startAIModel_.antoAnswerType));
    sequencPopup_->setCurrentIndex(static_cast<int>(startAIModel_.sequenceType));
    translatePopup_->setCurrentIndex(static_cast<int>(startAIModel_.modelType));
    showLanguagesForMode();
}

void InterviewSettingViewController::showLanguagesForMode() {
    const bool recognitionOnly = startAIModel_.modelType == 1;
    if (recognitionOnly) {
        chinaLangModel_ = storedLanguage(LanguageListModel::kChinaKey);
        lelfLanguageLabel_->setText(nameOf(chinaLangModel_));
    } else {
        lelfLangModel_ = storedLanguage(LanguageListModel::kLeftKey);
        lelfLanguageLabel_->setText(nameOf(lelfLangModel_));
    }
    outputLabel_->setHidden(recognitionOnly);
    rightLanguageLabel_->setHidden(recognitionOnly);
}

void InterviewSettingViewController::storeSettings() {
    SettingsStore::setRecord(std::optional(startAIModel_), kSettingsKey);
}

void InterviewSettingViewController::popupSelectionChanged(QComboBox* popup) {
    const int tag = tagOf(popup);
    if (tag < 0 || tag > 3) return;
    const std::string title = popup->currentText().toStdString();
    static const char* const kLogPrefixes[] = {"回答风格选择：", "回答模式选择：", "排列方式选择：",
                                               "是否翻译选择："};
    consoleLog(kLogPrefixes[tag] + title);
    switch (tag) {
        case 0:
            startAIModel_.generateAnswerType = AIInterviewModel::generateAnswerTypeFor(title);
            break;
        case 1:
            startAIModel_.antoAnswerType = AIInterviewModel::antoAnswerTypeFor(title);
            break;
        case 2:
            startAIModel_.sequenceType = AIInterviewModel::sequenceTypeFor(title);
            break;
        default:
            startAIModel_.modelType = AIInterviewModel::modelTypeFor(title);
            break;
    }
    storeSettings();
    if (tag == 3) showLanguagesForMode();
}

void InterviewSettingViewController::languagePopupClicked(QLabel* label) {
    if (!label) return;
    source_ = tagOf(label);
    showLanguagePopover(label);
}

void InterviewSettingViewController::showLanguagePopover(QLabel* label) {
    auto* list = new LanguageListViewController;
    list->source = source_;
    list->setDelegate(this, this);
    popover_->setContentViewController(list);
    popover_->show(label->rect(), label);
}

void InterviewSettingViewController::languageSelected(const LanguageListModel& language) {
    if (source_ == 1) {
        if (lelfLanguageLabel_) lelfLanguageLabel_->setText(QString::fromStdString(language.name));
        // Translation off listens in the recognition language; on, in the source language.
        if (startAIModel_.modelType == 1) {
            chinaLangModel_ = language;
            storeLanguage(language, LanguageListModel::kChinaKey);
        } else {
            lelfLangModel_ = language;
            storeLanguage(language, LanguageListModel::kLeftKey);
        }
    } else {
        rightLangModel_ = language;
        if (rightLanguageLabel_) {
            rightLanguageLabel_->setText(QString::fromStdString(language.name));
        }
        storeLanguage(language, LanguageListModel::kRightKey);
    }
    popover_->close();
}

void InterviewSettingViewController::openSettings() {
    consoleLog("打开设置");
    NotificationCenter::defaultCenter().post(NotificationNames::aiSetting, nullptr,
                                             {{"message", "打开设置"}});
}

void InterviewSettingViewController::startInterview() {
    beginInterview();
}

void InterviewSettingViewController::beginInterview() {
    consoleLog("开始面试");
    // One session at a time: a second would take over the clock, the billing and the sound
    // route of the one running, which would go on looking live. Its window comes forward.
    if (!WindowLifecycle::shared().mayStartSession()) return;
    const auto user = SettingsStore::record(DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
    if (!user) return;
    // A balance below zero (owed minutes) is as empty as zero.
    if (!user->hasTimeLeft()) {
        if (tipView_) {
            tipView_->sureBlock = [] {
                NotificationCenter::defaultCenter().post(NotificationNames::purchase, nullptr,
                                                         {{"message", "去充值"}});
            };
            MYCenterPopView::showInKeyWindow(tipView_, MYCenterPopView::Content::kept);
        }
        return;
    }
    if (preparingLoopback_ || routing_) return;
    if (startAIModel_.deviceType != 0 && !audioRouter().findLoopback()) {
        offerLoopbackDevice();
        return;
    }
    routeAudioAndOpenSession();
}

// The session opens only once its sound reaches the recorder (for system sound a second from
// now, when the aggregate plays): a session that would bill while hearing nothing never starts.
void InterviewSettingViewController::routeAudioAndOpenSession() {
    PXAudioRouter& router = audioRouter();
    AIInterviewDetailController::setAudioRouteRestorer([&router] { router.restore(); });
    routing_ = true;
    startButton_->setEnabled(false);
    const QPointer<InterviewSettingViewController> weak(this);
    const auto routed = [weak](bool done) {
        if (weak) weak->audioRouted(done);
    };
    if (startAIModel_.deviceType != 0) {
        router.setMode(PXInputMode::system);
        router.useSystemAudio(routed);
    } else {
        // Only tells the user; the session starts whatever it finds.
        MicroManagement::checkMicrophoneAuthorization();
        router.switchMode(PXInputMode::microphone, routed);
    }
}

void InterviewSettingViewController::audioRouted(bool routed) {
    routing_ = false;
    startButton_->setEnabled(true);
    if (routed) {
        openSession();
        return;
    }
    consoleLog("❌ 音频设备切换失败，面试未开始");
    // Whatever the routing did change goes back.
    audioRouter().restore();
    StatusHUD::showMessage(QString::fromUtf8(kRoutingFailedText), StatusHUDMode::error);
}

void InterviewSettingViewController::offerLoopbackDevice() {
    consoleLog("⚠️ 未找到回环设备，询问是否创建");
    Alert alert;
    alert.messageText = QString::fromUtf8(kLoopbackOfferTitle);
    alert.informativeText = QString::fromUtf8(kLoopbackOfferText)
                                .arg(QString::fromStdString(audioRouter().blackHoleDeviceName()));
    alert.alertStyle = Alert::Style::informational;
    alert.addButton(QString::fromUtf8(kCreateLoopbackButton));
    alert.addButton(QString::fromUtf8(kCancelButton));
    preparingLoopback_ = true;
    startButton_->setEnabled(false);
    const QPointer<InterviewSettingViewController> weak(this);
    alert.beginSheetModal(view()->window(), [weak](int response) {
        if (!weak) return;
        if (response == Alert::firstButtonReturn) {
            weak->createLoopbackDevice();
        } else {
            consoleLog("❌ 用户未创建回环设备");
            weak->loopbackUnavailable(kLoopbackDeclinedText);
        }
    });
}

void InterviewSettingViewController::createLoopbackDevice() {
    StatusHUD::shared().show(QString::fromUtf8(kCreatingLoopbackText),
                             StatusHUDMode::indeterminate);
    const QPointer<InterviewSettingViewController> weak(this);
    audioRouter().createLoopbackDevice([weak](coreaudio::AudioStatus status) {
        if (!weak) {
            StatusHUD::shared().hide(true);
            return;
        }
        if (status == coreaudio::status::notRunning) {
            weak->loopbackUnavailable(kNoSoundServerText);
        } else if (status != coreaudio::status::ok) {
            weak->loopbackUnavailable(kLoopbackFailedText);
        } else {
            StatusHUD::shared().hide(true);
            weak->preparingLoopback_ = false;
            weak->startButton_->setEnabled(true);
            weak->routeAudioAndOpenSession();
        }
    });
}

void InterviewSettingViewController::loopbackUnavailable(const char* message) {
    preparingLoopback_ = false;
    startButton_->setEnabled(true);
    StatusHUD::showMessage(QString::fromUtf8(message), StatusHUDMode::error);
}

double InterviewSettingViewController::currentSeconds() const {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string InterviewSettingViewController::unusedSessionName(const std::string& name) {
    const auto taken = [](const std::string& candidate) {
        std::error_code error;
        if (std::filesystem::exists(StandardFolders::documents() / (candidate + ".wav"), error)) {
            return true;
        }
        const auto rows = GRDBDataManager::shared().searchHistory(candidate);
        if (!rows) return false;
        for (const HistoryRecord& row : rows.value()) {
            if (row.audioFileName == candidate || row.title == candidate) return true;
        }
        return false;
    };
    std::string candidate = name;
    for (int number = 2; taken(candidate); ++number) {
        candidate = name + "-" + std::to_string(number);
    }
    return candidate;
}

bool InterviewSettingViewController::openSession() {
    const double now = currentSeconds();
    // Two sessions started in the same second must not share a recording or a history name.
    const std::string fileName = unusedSessionName(sessionName(now));

    HistoryRecord record;
    record.id = static_cast<std::int64_t>(now);
    record.title = fileName;
    record.audioFileName = fileName;
    record.historyFileName = fileName;
    record.timeStr = now;
    if (startAIModel_.modelType == 1) {
        // Recognition only: the session hears one language and translates into none.
        if (chinaLangModel_) record.sourceLanguage = chinaLangModel_->name;
        record.resultLanguage = std::string();
    } else {
        if (lelfLangModel_) record.sourceLanguage = lelfLangModel_->name;
        if (rightLangModel_) record.resultLanguage = rightLangModel_->name;
    }
    record.modelType = startAIModel_.modelType;
    record.antoAnswerType = startAIModel_.antoAnswerType;
    record.time = formatLocalDate(now, "yyyy-MM-dd HH:mm:ss");

    const std::optional<std::int64_t> historyId = GRDBDataManager::shared().insertHistory(record);
    if (!historyId) {
        startFailed();
        return false;
    }
    consoleLog("主表记录插入成功，返回的 ID:" + std::to_string(*historyId));
    if (!openSessionWindow(*historyId, fileName)) {
        startFailed();
        return false;
    }
    return true;
}

bool InterviewSettingViewController::openSessionWindow(std::int64_t historyId,
                                                       const std::string& fileName) {
    auto* controller = new AIInterviewDetailController(startAIModel_, historyId, fileName);
    // The window lifecycle hides the main window while the session window is open.
    sessionWindow_ = AIInterviewDetailWindow::open(controller);
    return sessionWindow_ != nullptr;
}

void InterviewSettingViewController::startFailed() {
    // Nothing of the session is left behind: the devices go back as they were.
    audioRouter().restore();
    StatusHUD::showMessage(QString::fromUtf8(kStartFailedText), StatusHUDMode::error);
}

}  // namespace pex
