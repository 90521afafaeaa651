// The window side of AIInterviewDetailController: views, layout, pin, Ctrl+K and the close
// path. The session side is in AIInterviewDetailControllerSession.cpp.
#include "Page/AIInterviewPages/AIInterviewDetailController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <chrono>

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/HUD.h"
#include "Tools/MouseTrackCompatible.h"
#include "Tools/ViewHelpers.h"
#include "audio/PXAudioRouter.h"
#include "platform/appkit/RowPositionTableView.h"
#include "platform/appkit/SystemFont.h"
#include "platform/appkit/WindowLevel.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"
#include "service/SettingsStore.h"
#include "service/TimerManager.h"

namespace pex {

namespace {

const Color kThemeGreen = Color::rgb(0x19 / 255.0, 0xCF / 255.0, 0xAE / 255.0);
const Color kTipColour = Color::rgb(15 / 255.0, 227 / 255.0, 189 / 255.0);
const Color kPaneBorder = Color::grey(1.0 / 3.0);  // dark grey

AIInterviewDetailController::AudioRouteRestorer defaultRestorer() {
    return [] { PXAudioRouter::shared().restore(); };
}

AIInterviewDetailController::AudioRouteRestorer& audioRouteRestorer() {
    static AIInterviewDetailController::AudioRouteRestorer restorer = defaultRestorer();
    return restorer;
}

template <typename Record>
std::optional<Record> stored(const char* key) {
    return SettingsStore::record(DefaultsKey<Record>(key));
}

QLabel* makeColouredLabel(const QString& text, const QFont& font, const Color& colour) {
    QLabel* label = makeTextLabel(text);
    label->setFont(font);
    setTextColor(label, colour);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QPushButton* makeActionButton(const QString& title) {
    auto* button = new QPushButton(title);
    button->setFont(systemFont(14));
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: white; border: 0px; "
                       "border-radius: 5px; background: rgba(0, 0, 0, 89); }"));
    return button;
}

LayerBackedView* makePane() {
    auto* pane = new LayerBackedView;
    pane->setBorderColor(kPaneBorder);
    pane->setBorderWidth(1);
    pane->setCornerRadius(10);
    return pane;
}

// Keeps a label at the size of its text, its left edge and vertical centre where given.
void placeLabel(QLabel* label, int left, int centreY) {
    const QSize size = label->sizeHint();
    label->setGeometry(left, centreY - size.height() / 2, size.width(), size.height());
}

}  // namespace

void AIInterviewDetailController::setAudioRouteRestorer(AudioRouteRestorer restorer) {
    audioRouteRestorer() = restorer ? std::move(restorer) : defaultRestorer();
}

void AIInterviewDetailController::restoreAudioRoute() {
    audioRouteRestorer()();
}

AIInterviewDetailController::AIInterviewDetailController(
    std::optional<AIInterviewModel> interviewModel, std::int64_t historyId,
    std::string historyFileName, QObject* parent)
    : BaseViewController(parent),
      historyId(historyId),
      historyFileName(std::move(historyFileName)),
      langModel1(stored<LanguageListModel>(LanguageListModel::kLeftKey)),
      langModel2(stored<LanguageListModel>(LanguageListModel::kRightKey)),
      langSpeechModel(stored<LanguageListModel>(LanguageListModel::kChinaKey)),
      interviewModel(std::move(interviewModel)),
      billingManager(BillingNewManager::create()) {
    if (this->interviewModel) fontSize = static_cast<int>(this->interviewModel->answerFontSize);
    streamID = std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
}

AIInterviewDetailController::~AIInterviewDetailController() {
    if (keyMonitorInstalled_) qApp->removeEventFilter(this);
    // A window that went without its close path (deleted outright) still ends its session:
    // nothing may go on recording or billing without it.
    if (!ended_) {
        sendFinalReport(false);
        stopSession();
    }
    if (ending_ == Ending::underWay) {
        // Gone while its end was under way (a sign-out closes the window at once): the route
        // goes back now, and whoever waits for the end is not kept waiting.
        giveBackAudioRoute();
        for (auto& completion : std::exchange(endCompletions_, {})) {
            DispatchQueue::main().async(std::move(completion));
        }
    }
    billingManager->delegate = nullptr;
    if (azTokenManager) azTokenManager->delegate = nullptr;
}

bool AIInterviewDetailController::isManualAnswerMode(const std::optional<AIInterviewModel>& model) {
    return model && model->antoAnswerType != 0;
}

int AIInterviewDetailController::sequenceType() {
    if (!sequenceType_) {
        sequenceType_ = interviewModel ? static_cast<int>(interviewModel->sequenceType) : 0;
    }
    return *sequenceType_;
}

QString AIInterviewDetailController::clockText(std::int64_t seconds) {
    return QString::asprintf("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                             static_cast<long long>((seconds % 3600) / 60),
                             static_cast<long long>(seconds % 60));
}

void AIInterviewDetailController::setUseTimeCount(std::optional<std::int64_t> seconds) {
    useTimeCount = seconds;
    if (!seconds || !timeLabel_) return;
    timeLabel_->setText(clockText(*seconds));
    if (isViewLoaded()) layoutViews();
}

void AIInterviewDetailController::loadView() {
    // A plain view: the window behind it gives the translucent dark background.
    auto* view = new QWidget;
    view->setAttribute(Qt::WA_TranslucentBackground);
    setView(view);
}

void AIInterviewDetailController::viewDidLoad() {
    BaseViewController::viewDidLoad();
    setUseTimeCount(0);
    isTranslating = false;
    refreshQuestionBoxEditability();
    fontSize = interviewModel ? static_cast<int>(interviewModel->answerFontSize) : 14;
    billingManager->delegate = this;
    awaitingStartReply_ = true;
    billingManager->startConsume();
    const QPointer<AIInterviewDetailController> weak(this);
    DispatchQueue::main().async([weak] {
        // A session that ended before this turn (a refused start) shows no indicator.
        if (weak && !weak->ended_) HUD::show(kLoadingText);
    });
}

TableView* AIInterviewDetailController::makeTable() {
    // The rows are placed from the height arrays (lookups) and keep their places, so a reload
    // that follows the end reaches the real end of a long transcript, and an appended row is
    // placed alone.
    auto* table = new RowPositionTableView;
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setSpacing(4);  // 8 points between rows
    table->setDataSource(this);
    table->viewport()->installEventFilter(this);  // its width: relayoutForWidth
    return table;
}

QPushButton* AIInterviewDetailController::makeScrollButton(QWidget* pane) {
    auto* button = new QPushButton(pane);
    button->setFlat(true);
    button->setIcon(AppImages::named(QStringLiteral("interview_down")));
    button->setIconSize(QSize(30, 30));
    button->setAccessibleName(QStringLiteral("滚动到底部"));
    button->setStyleSheet(QStringLiteral("QPushButton { border: 0px; background: transparent; }"));
    button->hide();
    return button;
}

void AIInterviewDetailController::setupUI() {
    QWidget* root = view();
    timeLabel_ = makeColouredLabel(clockText(0), systemFont(14), Color::grey(1));
    topImg_ = new ImageView(AppImages::named(QStringLiteral("translate_up")));
    topImg_->setProperty("tag", 9);
    topImg_->setAccessibleName(QStringLiteral("置顶"));
    ClickGestureRecognizer::attach(topImg_, [this](ClickGestureRecognizer&) { topupDidTap(); });
    tipLab_ = makeColouredLabel(QString(), systemFont(14), kTipColour);
    tipLab_->setAlignment(Qt::AlignCenter);
    startButton_ = makeActionButton(QStringLiteral("停止"));
    QObject::connect(startButton_, &QPushButton::clicked, this, [this] { stopTapped(); });
    for (QWidget* child : {static_cast<QWidget*>(timeLabel_), static_cast<QWidget*>(topImg_),
                           static_cast<QWidget*>(tipLab_), static_cast<QWidget*>(startButton_)}) {
        child->setParent(root);
    }
    startButton_->hide();
    tipLab_->hide();
    trackMouse(topImg_, MouseTrackOption{},
               [this](MouseMoveEvent event) { showPinTip(event == MouseMoveEvent::entered); });

    topView_ = makePane();
    bottomView_ = makePane();
    topTableView_ = makeTable();
    bottomTableView_ = makeTable();
    const bool manual = isManualAnswerMode();
    const bool seqZero = sequenceType() == 0;
    LayerBackedView* transcriptPane = topView_;
    LayerBackedView* answerPane = bottomView_;
    if (manual) {
        topView_->setParent(root);
        bottomView_->setParent(root);
        if (!seqZero) std::swap(transcriptPane, answerPane);
    } else {
        splitView_ = new QSplitter(Qt::Vertical, root);
        splitView_->setHandleWidth(9);  // a thick divider
        splitView_->setChildrenCollapsible(false);
        // The divider stays between 100 and 500 points from the top.
        LayerBackedView* upper = sequenceType() == 1 ? bottomView_ : topView_;
        upper->setMinimumHeight(100);
        upper->setMaximumHeight(500);
        if (sequenceType() == 1) {
            splitView_->addWidget(bottomView_);
            splitView_->addWidget(topView_);
        } else {
            splitView_->addWidget(topView_);
            splitView_->addWidget(bottomView_);
        }
    }
    topTableView_->setParent(transcriptPane);
    bottomTableView_->setParent(answerPane);
    topScrollToBottomButton_ = makeScrollButton(transcriptPane);
    bottomScrollToBottomButton_ = makeScrollButton(answerPane);
    QObject::connect(topScrollToBottomButton_, &QPushButton::clicked, this,
                     [this] { scrollTopTableToBottom(); });
    QObject::connect(bottomScrollToBottomButton_, &QPushButton::clicked, this,
                     [this] { scrollBottomTableToBottom(); });
    QObject::connect(topTableView_->verticalScrollBar(), &QScrollBar::valueChanged, this,
                     [this] { updateScrollButton(topTableView_, topScrollToBottomButton_); });
    QObject::connect(bottomTableView_->verticalScrollBar(), &QScrollBar::valueChanged, this,
                     [this] { updateScrollButton(bottomTableView_, bottomScrollToBottomButton_); });

    if (manual) {
        textView_ = new QPlainTextEdit(root);
        textView_->setAccessibleName(QStringLiteral("问题"));
        textView_->setFont(systemFont(fontSize));
        textView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        textView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        textView_->document()->setDocumentMargin(4 + 2);  // line padding 4, inset 2
        textView_->setStyleSheet(
            QStringLiteral("QPlainTextEdit { color: white; background: transparent; "
                           "border: 1px solid rgb(85, 85, 85); border-radius: 10px; }"));
        aiResponseButton_ = makeActionButton(QStringLiteral("回答"));
        aiResponseButton_->setParent(root);
        QObject::connect(aiResponseButton_, &QPushButton::clicked, this,
                         [this] { aiResponseTapped(); });
        commonkLab_ = makeColouredLabel(QStringLiteral("Ctrl + K"), systemFont(11), kThemeGreen);
        commonkLab_->setAlignment(Qt::AlignCenter);
        commonkLab_->setParent(root);
    }

    const bool systemSound = interviewModel && interviewModel->deviceType != 0;
    audioModeLab_ = makeColouredLabel(
        systemSound ? QStringLiteral("音频：系统声音") : QStringLiteral("音频：麦克风声音"),
        systemFont(14), kThemeGreen);
    answerModeLab_ = makeColouredLabel(
        manual ? QStringLiteral("回答模式：手动模式") : QStringLiteral("回答模式：自动模式"),
        systemFont(14), kThemeGreen);
    audioModeLab_->setParent(root);
    answerModeLab_->setParent(root);

    root->installEventFilter(this);
}

void AIInterviewDetailController::setupConstraints() {
    layoutViews();
}

void AIInterviewDetailController::layoutViews() {
    QWidget* root = viewIfLoaded();
    if (!root || !timeLabel_) return;
    const int width = root->width();
    const int height = root->height();

    const QSize clock = timeLabel_->sizeHint();
    timeLabel_->setGeometry(16, 16, clock.width(), clock.height());
    const int centreY = timeLabel_->geometry().center().y();
    placeLabel(audioModeLab_, timeLabel_->geometry().right() + 1 + 60, centreY);
    placeLabel(answerModeLab_, audioModeLab_->geometry().right() + 1 + 60, centreY);
    topImg_->setGeometry(width - 50 - 26, centreY - 13, 26, 26);
    const QSize tip = tipLab_->sizeHint();
    tipLab_->setGeometry(topImg_->x() - 2 - tip.width(), centreY - tip.height() / 2, tip.width(),
                         tip.height());
    startButton_->setGeometry(topImg_->x() - 30 - 50, centreY - 15, 50, 30);

    const int top = timeLabel_->geometry().bottom() + 1 + 11;
    const int paneWidth = std::max(width - 32, 0);
    if (splitView_) {
        splitView_->setGeometry(16, top, paneWidth, std::max(height - 16 - top, 0));
        if (!dividerPlaced_ && splitView_->height() > 200 + splitView_->handleWidth()) {
            // The divider starts 200 points down; it is placed until the view is on screen
            // with its real size, and left to the user from then on.
            splitView_->setSizes({200, splitView_->height() - 200 - splitView_->handleWidth()});
            dividerPlaced_ = root->isVisible();
        }
        for (TableView* table : {topTableView_, bottomTableView_}) {
            QWidget* pane = table->parentWidget();
            table->setGeometry(4, 4, std::max(pane->width() - 8, 0),
                               std::max(pane->height() - 8, 0));
        }
    } else {
        const int quarter = height / 4;
        topView_->setGeometry(16, top, paneWidth, quarter);
        textView_->setGeometry(16, topView_->geometry().bottom() + 1 + 23, paneWidth, quarter);
        const int bottomTop = textView_->geometry().bottom() + 1 + 23;
        bottomView_->setGeometry(16, bottomTop, paneWidth, std::max(height - 16 - bottomTop, 0));
        for (TableView* table : {topTableView_, bottomTableView_}) {
            QWidget* pane = table->parentWidget();
            table->setGeometry(-2, -2, pane->width() + 4, pane->height() + 4);
        }
        // The hint is at least as wide as the button centred over it, so that both stay
        // inside the question box.
        const QSize hint(std::max(commonkLab_->sizeHint().width(), 75),
                         commonkLab_->sizeHint().height());
        const int hintBottom = textView_->geometry().bottom() + 1 - 11;
        commonkLab_->setGeometry(width - 23 - hint.width(), hintBottom - hint.height(),
                                 hint.width(), hint.height());
        const int centreX = commonkLab_->geometry().center().x();
        aiResponseButton_->setGeometry(centreX - 75 / 2, commonkLab_->y() - 7 - 35, 75, 35);
        aiResponseButton_->raise();
        commonkLab_->raise();
    }
    for (QPushButton* button : {topScrollToBottomButton_, bottomScrollToBottomButton_}) {
        QWidget* pane = button->parentWidget();
        button->setGeometry(pane->width() - 10 - 30, pane->height() - 10 - 30, 30, 30);
        button->raise();
    }
}

bool AIInterviewDetailController::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            if (keyMonitorInstalled_ && handleKeyDown(*static_cast<QKeyEvent*>(event))) {
                return true;
            }
            break;
        case QEvent::Close:
            if (watched == observedWindow_.data() && !windowShouldClose()) {
                event->ignore();
                return true;
            }
            break;
        case QEvent::Resize:
        case QEvent::LayoutRequest:
            if (watched == viewIfLoaded()) layoutViews();
            if (event->type() == QEvent::Resize &&
                ((topTableView_ && watched == topTableView_->viewport()) ||
                 (bottomTableView_ && watched == bottomTableView_->viewport()))) {
                relayoutForWidth();
            }
            break;
        case QEvent::Show:
            if (watched == viewIfLoaded()) viewDidAppear();
            break;
        case QEvent::Hide:
            if (watched == viewIfLoaded()) viewWillDisappear();
            break;
        default:
            break;
    }
    return BaseViewController::eventFilter(watched, event);
}

void AIInterviewDetailController::viewDidAppear() {
    layoutViews();
    QWidget* window = view()->window();
    if (window != view() && window != observedWindow_.data()) {
        if (observedWindow_) observedWindow_->removeEventFilter(this);
        observedWindow_ = window;
        window->installEventFilter(this);
    }
    installKeyMonitor();
}

void AIInterviewDetailController::installKeyMonitor() {
    if (keyMonitorInstalled_ || !isManualAnswerMode()) return;
    // Application-wide: Ctrl+K asks whichever of the application's windows has the keyboard.
    qApp->installEventFilter(this);
    keyMonitorInstalled_ = true;
}

void AIInterviewDetailController::viewWillDisappear() {
    if (!keyMonitorInstalled_) return;
    qApp->removeEventFilter(this);
    keyMonitorInstalled_ = false;
}

bool AIInterviewDetailController::handleKeyDown(const QKeyEvent& event) {
    // Ctrl stands for the Command key here; Shift may be held as well.
    if (!isManualAnswerMode() || !event.modifiers().testFlag(Qt::ControlModifier) ||
        event.key() != Qt::Key_K) {
        return false;
    }
    askFromTextView();
    return true;
}

void AIInterviewDetailController::aiResponseTapped() {
    askFromTextView();
}

void AIInterviewDetailController::topupDidTap() {
    toggleFloating();
}

void AIInterviewDetailController::toggleFloating() {
    isTop = !isTop;
    topImg_->setImage(
        AppImages::named(isTop ? QStringLiteral("translate_up") : QStringLiteral("translate_up1")));
    QWidget* window = view()->window();
    if (window != view()) {
        setWindowLevel(window, isTop ? WindowLevel::floating : WindowLevel::normal);
    }
    if (!tipLab_->isHidden()) showPinTip(true);
}

void AIInterviewDetailController::showPinTip(bool inside) {
    tipLab_->setText(isTop ? kPinnedTip : kUnpinnedTip);
    tipLab_->setVisible(inside);
    layoutViews();
}

bool AIInterviewDetailController::windowShouldClose() {
    if (isClosing) return true;
    closeSession();
    return false;
}

void AIInterviewDetailController::closeSession() {
    if (isClosing) return;
    HUD::show(kSavingText);
    // The report goes out whenever a consumption is open, and the session stops at once: the
    // reply only chooses the message.
    endSession(nullptr, isTranslating);
    // A second click may close the window (and this controller) before the 2 s are over.
    const QPointer<AIInterviewDetailController> weak(this);
    HUD::showThenHide(kSavingText, kSavingSeconds, [weak] {
        if (weak) weak->finishClose();
    });
}

void AIInterviewDetailController::finishClose() {
    QWidget* window = viewIfLoaded() ? viewIfLoaded()->window() : nullptr;
    // The window owns this controller and deletes it once closed: nothing of it is used after.
    if (window && window != viewIfLoaded()) window->close();
}

}  // namespace pex
