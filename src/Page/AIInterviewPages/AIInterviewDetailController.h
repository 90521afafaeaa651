#pragma once
// The controller of one live interview session and of its window.
//
// Session side (AIInterviewDetailControllerSession.cpp): opens the minute billing; once the
// service accepts, starts the speech token and the session clock; on the first token builds
// the recogniser (recognition only or with translation, as the settings say) over the shared
// recorder; hands later tokens to it; and ends the session when the window closes, when
// billing fails, or when recognition, the token or the capture fails. Ending a session always
// sends the final usage report when a consumption is open, then stops the token, the clock and
// the recogniser with its recorder at once; the report's reply only chooses the message shown.
// A session that ends while its window stays open (a refused start, a failure) puts the audio
// route back as soon as its capture has stopped, not when the window closes.
//
// Window side (AIInterviewDetailController.cpp): the clock and mode labels, the pin toggle with
// its hover tip, the panes of the transcript and answer tables laid out by answer mode and
// order, the question box with "回答" and Ctrl+K in manual answer mode, and the close path
// ("Saving..." for 2 s, then the window closes; the window lifecycle brings the main window
// back).
//
// Main thread only. The window that shows the controller owns it; a session still running
// when the controller goes is ended on the way.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <any>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Tools/BaseViewController.h"
#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"
#include "audio/AzTokenNewDelegate.h"
#include "audio/AzTokenNewManager.h"
#include "audio/SpeechRecognitionTool.h"
#include "audio/StreamModel.h"
#include "audio/StreamingClient.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TableViewDataSource.h"
#include "platform/appkit/WrappedTextLines.h"
#include "service/AIInterviewModel.h"
#include "service/BillingNewDelegate.h"
#include "service/BillingNewManager.h"
#include "service/LanguageListModel.h"
#include "service/PXTranslationHistoryDetailsModel.h"

namespace pex {

class AIInterviewDetailController : public BaseViewController,
                                    public BillingNewDelegate,
                                    public AzTokenNewDelegate,
                                    public TableViewDataSource {
    Q_OBJECT
  public:
    static constexpr const char* kLoadingText = "Loading...";
    static constexpr const char* kSavingText = "Saving...";
    static constexpr const char* kStoppedText = "已停止";
    static constexpr const char* kErrorTitle = "错误";
    static constexpr const char* kTokenErrorText = "token已失效，请重新开始";
    static constexpr const char* kCaptureErrorText = "录音设备不可用，请检查音频设备后重新开始";
    static constexpr const char* kStorageFailedTitle = "保存失败";
    static constexpr const char* kRecordingNotSavedText =
        "录音无法写入磁盘，部分录音可能没有保存；已保存的部分仍然保留。请检查磁盘空间。";
    static constexpr const char* kRecordsNotSavedText =
        "面试记录无法写入数据库，部分记录可能没有保存；已保存的记录仍然保留。请检查磁盘空间。";
    static constexpr const char* kPinnedTip = "取消置顶";
    static constexpr const char* kUnpinnedTip = "置顶";
    static constexpr double kBillingMessageSeconds = 1.5;
    static constexpr double kSavingSeconds = 2.0;
    // How long the end of a session waits for the service to answer the final usage report
    // (or a start still under way) before it goes on without the answer.
    static constexpr std::chrono::milliseconds kFinalReportWait{2000};

    // Puts the audio devices back as they were before the session: the audio router's
    // `restore` unless another is installed (tests); nullptr puts the router's back.
    using AudioRouteRestorer = std::function<void()>;
    static void setAudioRouteRestorer(AudioRouteRestorer restorer);

    // `interviewModel`: the settings the setup page hands over; the three languages are read
    // from the settings store now. Changes made elsewhere later do not reach this session.
    AIInterviewDetailController(std::optional<AIInterviewModel> interviewModel,
                                std::int64_t historyId, std::string historyFileName,
                                QObject* parent = nullptr);
    ~AIInterviewDetailController() override;

    // The one rule for the answer mode: 0 answers every sentence by itself, anything else
    // answers when asked. Layout, Ctrl+K and answering all ask here.
    static bool isManualAnswerMode(const std::optional<AIInterviewModel>& model);
    bool isManualAnswerMode() const { return isManualAnswerMode(interviewModel); }
    // 0: transcript above the answers; otherwise the answers above. Read once and kept.
    int sequenceType();
    // "%02d:%02d:%02d" of whole hours (not limited to two digits), minutes and seconds.
    static QString clockText(std::int64_t seconds);

    // BillingNewDelegate.
    void billingDidStart(const std::string& consumeID) override;
    void billingDidEnd(const std::string& message) override;
    // AzTokenNewDelegate.
    void tokenReceived(const AzTokenModel& model) override;
    void tokenRefreshed(const AzTokenModel& model) override;
    void tokenFailed(const std::any& error) override;

    // Session steps.
    void startSession();
    void setupRecognition(const AzTokenModel& model);
    // The (hidden) stop button: ends a recognising session the way closing does.
    void stopTapped();
    void handleRecognitionError(const std::string& text);
    void handleCaptureFailure(const std::string& description);
    // The recording or a transcript line or answer could not be stored. The session goes on
    // (what it shows is still of use); the user is told once per session, above its window,
    // with `text` and the system's own words.
    void handleStorageFailure(const QString& text, const std::string& description);
    // Stops the token, the clock and the recogniser with its recorder; the recogniser stops
    // off the main thread. `completion` runs on the main queue afterwards. Runs once; a later
    // call only queues its completion.
    void stopSession(std::function<void()> completion = nullptr);
    // The one end of a session, whichever way out asked for it (the window's close, quit, a
    // signal, sign-out): the final usage report when a consumption is open, its answer (or
    // that of a start still under way) awaited at most kFinalReportWait; the token, the clock
    // and the recogniser with its capture stopped and the recording closed; then the audio
    // route restored. `done` runs on the main queue once all that is over; a call while it
    // ends only adds its `done`. From the first call on the window may close at once.
    // `toastReply`: the report's reply shows its message as a toast.
    void endSession(std::function<void()> done = nullptr, bool toastReply = false);
    void showRecognitionErrorAlert(const QString& informativeText = kTokenErrorText);
    // A warning sheet on the session window; nothing once the window is gone.
    void showSessionAlert(const QString& title, const QString& informativeText);
    // Posts a step that makes the question box editable exactly while recognition runs.
    void refreshQuestionBoxEditability();

    // Transcript and answers (AIInterviewDetailControllerTranscript.cpp).
    static constexpr const char* kEmptyQuestionText = "请输入文本";
    static constexpr const char* kSessionEndedText = "面试已结束，无法再提问";
    // Partial and final sentences; `translation` is empty in recognition-only mode.
    void handleIntermediateResult(const std::string& sourceText, const std::string& translation);
    void handleFinalResult(const std::string& sourceText, const std::string& translation);
    // Sends one question and shows its answer as it streams in.
    void askAI(const std::string& question);
    // Called off the main thread when a stream has ended, also after the session or the
    // controller is gone; stores the text received by the stamp of its transcript line
    // (automatic answers) or as a question with its answer. Carries copies of what it needs,
    // so it never touches the controller.
    struct AnswerStore {
        std::int64_t historyId = 0;
        bool automatic = true;
        // Told, off the main thread, when the answer could not be stored.
        std::function<void(const std::string& description)> onStoreFailed;
        void storeAnswer(std::int64_t id, const std::string& answer,
                         const std::string& question) const;
    };
    // Cancels every answer stream this session started (not only those still listed).
    void cancelStreams();
    void setCenterModel(std::optional<PXTranslationHistoryDetailsModel> model);
    const std::optional<PXTranslationHistoryDetailsModel>& centerModel() const {
        return centerModel_;
    }
    // The answer of a row as it grows: the stream's question settings and its text so far,
    // updated on the main thread; and its text's lines as measured for the row's height and as
    // drawn, kept so that a growing answer is laid out again only at its end.
    struct AnswerRow {
        std::int64_t id = 0;
        std::string question;
        std::string responseText;
        WrappedTextLines measuredLines;
        WrappedTextLines drawnLines;
    };
    std::vector<PXTranslationHistoryDetailsModel> topArr;
    std::vector<std::shared_ptr<AnswerRow>> streamModels;
    std::int64_t streamID = 0;
    bool suppressCenterModelRefresh = false;
    // The question sent for `question` (the request's fields).
    StreamModel makeStreamModel(const std::string& question) const;

    // The two tables: the transcript (`topTableView`, its rows then the live row) and the
    // answers (`bottomTableView`).
    int numberOfRowsInTableView(TableView& tableView) override;
    TableCellView* viewForRow(TableView& tableView, int row) override;
    // Row heights are looked up in the height arrays below (44 for a row beyond them, or for a
    // height that is not a finite number above 0); `width` is not used.
    std::optional<int> heightOfRow(TableView& tableView, int row, int width) override;
    // A transcript or live row `tableWidth` wide: its numbered sentence, and its translation
    // below when it has one; 44 before the table has a width.
    static int transcriptRowHeight(const PXTranslationHistoryDetailsModel& model, int tableWidth);
    // An answer row numbered `number`; 44 before the table has a width, 52 when too narrow.
    static int answerRowHeight(int number, const std::string& text, int points, int tableWidth);
    static constexpr int kDefaultRowHeight = 44;

    // The measured heights, the tables' own state: the live row, the transcript rows
    // and the answer rows, measured from the rows' texts (never from cells) at the widths
    // below. Transcript rows keep their heights while the width stays (a row's text, number
    // and font never change once it is appended), so appending measures the new row alone;
    // a growing answer lays out only its last lines (WrappedTextLines). Another width or font
    // measures the transcript rows in view at once and the others in slices on the main queue
    // (kMeasureSliceRows every kMeasureSliceGap), their old heights standing in until then; once
    // the slices are done the heights are those of measuring every row afresh.
    double centerRowHeight = kDefaultRowHeight;
    std::vector<double> topCellHeight;
    std::vector<double> bottomCellHeight;
    // The last positive widths the tables were measured at. Unlike a fixed width they follow the
    // table when it narrows too, so that narrowing never clips a row.
    double cachedTopTableWidth = 0;
    double cachedBottomTableWidth = 0;
    // The width a table's rows are measured at: its viewport's (0 without a table).
    static double tableContentWidth(const TableView* table);
    // Fill the height arrays at the tables' current widths; answers the first transcript row
    // whose height may have changed (the number of rows before when only new rows were
    // measured).
    std::size_t recomputeTranscriptHeights();
    // Transcript rows still showing a height measured at an earlier width or font.
    std::size_t transcriptRowsToMeasure() const { return topStaleCount_; }
    // Measures the next slice of those rows and places the rows again, the top row in view
    // staying where it is; the next slice follows kMeasureSliceGap later while rows are left.
    void measureTranscriptSlice();
    static constexpr std::size_t kMeasureSliceRows = 300;
    static constexpr std::chrono::milliseconds kMeasureSliceGap{4};
    void recomputeLiveRowHeight();
    void recomputeAnswerHeights();
    // The live row changed from `old` to `now`: measured again, and when a live row stays
    // (the number of rows does not change) that row alone is refreshed; otherwise the
    // transcript table is reloaded.
    void refreshLiveRow(const std::optional<PXTranslationHistoryDetailsModel>& old,
                        const std::optional<PXTranslationHistoryDetailsModel>& now);
    // An answer grew to `text`: its row alone is measured again and refreshed, a visible cell
    // refilled in place. A row no longer listed, and anything while closing, changes nothing.
    void updateAnswerRow(const std::shared_ptr<AnswerRow>& row, const std::string& text);
    // A table whose width changed by more than half a point is measured again and reloaded.
    void relayoutForWidth();
    // Reload a table; a table that follows its end (its scroll button hidden) scrolls to it,
    // one the user scrolled away from keeps its reading position. Nothing while closing.
    // With `fromRow` the transcript rows above it stay as they are placed: only the rows from
    // there on are placed again (appending costs the same however long the transcript is).
    void reloadTranscriptTable(std::optional<std::size_t> fromRow = std::nullopt);
    void reloadAnswerTable();
    void scrollTopTableToBottom();
    void scrollBottomTableToBottom();
    // The scroll button shows once the user is more than 120 points above the end.
    static constexpr int kFollowDistance = 120;

    // Window steps.
    // The window asks before it closes: yes once closing has begun; otherwise the close path
    // starts and the window stays for now.
    bool windowShouldClose();
    void closeSession();
    void finishClose();
    // The pin icon's click: floating ↔ normal.
    void topupDidTap();
    void toggleFloating();
    void showPinTip(bool inside);
    // Ctrl+K in manual answer mode: asks about the question box's text.
    virtual void askFromTextView();
    virtual void aiResponseTapped();

    // State.
    const std::int64_t historyId;
    const std::string historyFileName;
    std::shared_ptr<AzTokenNewManager> azTokenManager;
    std::shared_ptr<SpeechRecognitionTool> speechTool;
    bool isTranslating = false;
    std::optional<LanguageListModel> langModel1;
    std::optional<LanguageListModel> langModel2;
    std::optional<LanguageListModel> langSpeechModel;
    std::optional<AIInterviewModel> interviewModel;
    int fontSize = 14;
    std::shared_ptr<BillingNewManager> billingManager;
    std::optional<std::int64_t> useTimeCount;
    void setUseTimeCount(std::optional<std::int64_t> seconds);
    bool isClosing = false;
    bool isTop = true;
    // True once the session has been ended (torn down); nothing starts again after it.
    bool hasEnded() const { return ended_; }

    // Views (made with the view).
    QLabel* timeLabel() const { return timeLabel_; }
    QLabel* tipLab() const { return tipLab_; }
    ImageView* topImg() const { return topImg_; }
    QPushButton* startButton() const { return startButton_; }
    QSplitter* splitView() const { return splitView_; }
    LayerBackedView* topView() const { return topView_; }
    LayerBackedView* bottomView() const { return bottomView_; }
    QPlainTextEdit* textView() const { return textView_; }
    QPushButton* aiResponseButton() const { return aiResponseButton_; }
    QLabel* commonkLab() const { return commonkLab_; }
    QLabel* audioModeLab() const { return audioModeLab_; }
    QLabel* answerModeLab() const { return answerModeLab_; }
    TableView* topTableView() const { return topTableView_; }
    TableView* bottomTableView() const { return bottomTableView_; }
    QPushButton* topScrollToBottomButton() const { return topScrollToBottomButton_; }
    QPushButton* bottomScrollToBottomButton() const { return bottomScrollToBottomButton_; }
    bool hasKeyMonitor() const { return keyMonitorInstalled_; }

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void setupUI() override;
    void setupConstraints() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    void viewDidAppear();
    void viewWillDisappear();
    void installKeyMonitor();
    // True when the key event asks (Ctrl+K, with or without Shift) and was taken.
    bool handleKeyDown(const QKeyEvent& event);

  private:
    // The next stamp: now, but always after the last one, so two questions never share one.
    void renewStreamID();
    // answerRowHeight of `row`, numbered `number`, from its kept lines.
    double measureAnswerRow(AnswerRow& row, int number, double tableWidth);

    std::optional<PXTranslationHistoryDetailsModel> centerModel_;
    // The width and font `topCellHeight` was measured at.
    double topHeightsWidth_ = -1;
    int topHeightsFont_ = 0;
    // Per transcript row: its height is an estimate left from another width or font.
    std::vector<char> topStale_;
    std::size_t topStaleCount_ = 0;
    std::size_t topSliceCursor_ = 0;  // where the next slice starts looking
    bool topSliceScheduled_ = false;
    // Measures the stale rows that the view shows at once: down from its top row, or up from
    // the last row when the table follows its end.
    void measureTranscriptRowsInView();
    void measureTranscriptRow(std::size_t row);
    void scheduleTranscriptSlice();
    std::vector<std::weak_ptr<StreamingClient>> streamClients_;

    // Sends the final usage report when a consumption is open; `toastReply`: its reply shows
    // its message (or "已停止") as a toast.
    void sendFinalReport(bool toastReply);
    // The steps of endSession: runs its completions once every step is over.
    void finishEnding();
    // The installed AudioRouteRestorer.
    static void restoreAudioRoute();
    // restoreAudioRoute, once per session: the first end that no longer needs the route.
    void giveBackAudioRoute();
    // An error ended a running session: final report, local teardown, then the alert.
    void failSession(const QString& alertText);
    void layoutViews();
    TableView* makeTable();
    QPushButton* makeScrollButton(QWidget* pane);

    // Places the table's rows again, asking the data source for them first when `askForRows`.
    void reloadTable(TableView* table, QPushButton* button, bool askForRows = true,
                     std::optional<std::size_t> fromRow = std::nullopt);
    void scrollTableToBottom(TableView* table, QPushButton* button);
    void updateScrollButton(TableView* table, QPushButton* button);

    bool ended_ = false;
    // endSession's progress and what it still waits for.
    enum class Ending { no, underWay, done };
    Ending ending_ = Ending::no;
    std::vector<std::function<void()>> endCompletions_;
    bool awaitingStartReply_ = false;
    bool awaitingFinalReply_ = false;
    bool replyWaitOver_ = false;
    bool captureStopped_ = false;
    bool routeGivenBack_ = false;
    bool dividerPlaced_ = false;
    bool toastFinalReply_ = false;
    bool storageFailureShown_ = false;
    std::optional<int> sequenceType_;
    bool keyMonitorInstalled_ = false;
    QPointer<QWidget> observedWindow_;

    QLabel* timeLabel_ = nullptr;
    QLabel* tipLab_ = nullptr;
    ImageView* topImg_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QSplitter* splitView_ = nullptr;
    LayerBackedView* topView_ = nullptr;
    LayerBackedView* bottomView_ = nullptr;
    QPlainTextEdit* textView_ = nullptr;
    QPushButton* aiResponseButton_ = nullptr;
    QLabel* commonkLab_ = nullptr;
    QLabel* audioModeLab_ = nullptr;
    QLabel* answerModeLab_ = nullptr;
    TableView* topTableView_ = nullptr;
    TableView* bottomTableView_ = nullptr;
    QPushButton* topScrollToBottomButton_ = nullptr;
    QPushButton* bottomScrollToBottomButton_ = nullptr;
};

}  // namespace pex
