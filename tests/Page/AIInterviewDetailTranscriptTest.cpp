// What the session window makes of recognised sentences: the live and transcript rows with
// their session times, the stored transcript lines in the real history database, and the
// answers asked for them (automatically, or from the question box), streamed from the stand-in.
#include <QAbstractItemModel>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <atomic>
#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "Page/AIInterviewPages/AiInterviewAiCellMac.h"
#include "Page/AIInterviewPages/AiInterviewCellMac.h"
#include "Page/AIInterviewPages/ConversationRowText.h"

#include "Page/SessionWindowFixture.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "platform/foundation/StandardFolders.h"
#include "service/GRDBDataManager.h"
#include "service/HistoryRecord.h"
#include "support/FileSizeLimit.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using standin::Reply;

std::string dataLine(const std::string& content) {
    return "data: " + nlohmann::json{{"data", {{"content", content}}}}.dump() + "\n";
}

// An answer stream the stand-in keeps open after its text: it goes on with comment lines (no
// answer text) until the connection goes, so a client that closes it is noticed at once.
struct HeldStream {
    std::atomic<bool> sentText{false};
    std::atomic<bool> closed{false};  // the connection went before the stream's end
};

Reply holdOpen(const std::shared_ptr<HeldStream>& held, const std::string& content) {
    Reply reply = Reply::produced([held, content]() -> std::optional<std::string> {
        if (!held->sentText.exchange(true)) return dataLine(content);
        // The stand-in's pace on its service thread; a stream ends only when its connection
        // goes (or the stand-in stops).
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return std::string(":\n");
    });
    reply.onEnd = [held](bool whole) {
        if (!whole) held->closed.store(true);
    };
    return reply;
}

class SessionTranscript : public SessionWindowTest {
  protected:
    SessionTranscript() {
        // The database is the process's one; each test has its own interview in it.
        HistoryRecord history;
        history.id = kHistoryId;
        history.title = kFileName;
        history.audioFileName = kFileName;
        historyId_ = GRDBDataManager::shared().insertHistory(history).value_or(0);
    }

    std::vector<TranslationDetailRecord> storedLines() {
        return GRDBDataManager::shared().fetchTranslationDetails(historyId_);
    }
    std::vector<AIResponseDetailRecord> storedAnswers() {
        return GRDBDataManager::shared().fetchAIResponseDetails(historyId_);
    }
    // The answers the stand-in streams name their question.
    static bool answers(const std::string& answer, const std::string& question) {
        return answer.find("关于“" + question + "”") != std::string::npos;
    }
    CountingController* openRecognising(const AIInterviewModel& model) {
        CountingController* controller = open(model);
        EXPECT_TRUE(waitForRecogniser());
        controller->countOnly = false;
        return controller;
    }
};

TEST_F(SessionTranscript, RowsSpanFromTheirFirstPartialToTheirFinalAndAreStored) {
    CountingController* controller = openRecognising(settings(1, 1));
    struct Event {
        char kind;  // 'p' partial, 'f' final
        std::int64_t second;
        const char* text;
    };
    const std::vector<Event> events = {
        {'f', 5, "甲"},                                         // no partial: no start
        {'p', 6, "乙"},  {'p', 8, "乙丙"}, {'f', 9, "乙丙丁"},  // start at the first partial
        {'f', 12, "戊"},                                        // starts where the previous ended
    };
    for (const Event& event : events) {
        controller->useTimeCount = event.second;
        if (event.kind == 'p') {
            controller->handleIntermediateResult(event.text, "");
            ASSERT_TRUE(controller->centerModel());
        } else {
            controller->handleFinalResult(event.text, "");
            EXPECT_FALSE(controller->centerModel());
        }
    }
    ASSERT_EQ(controller->topArr.size(), 3u);
    const std::vector<std::pair<std::optional<std::int64_t>, std::int64_t>> spans = {
        {std::nullopt, 5}, {6, 9}, {9, 12}};
    for (std::size_t i = 0; i < spans.size(); ++i) {
        EXPECT_EQ(controller->topArr[i].start, spans[i].first) << i;
        EXPECT_EQ(controller->topArr[i].end, spans[i].second) << i;
        EXPECT_EQ(controller->topArr[i].streamID, controller->streamID);
    }
    const auto lines = storedLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].sourceText, "甲");
    EXPECT_EQ(lines[0].startTime, 0);
    EXPECT_EQ(lines[1].startTime, 6);
    EXPECT_EQ(lines[2].startTime, 9);
    EXPECT_EQ(lines[2].endTime, 0);
    EXPECT_EQ(lines[1].sourceColor, "#f9f9f9");
    EXPECT_EQ(lines[1].streamID, controller->streamID);
    // Manual answers: the sentences collect in the question box, one per line.
    EXPECT_EQ(controller->textView()->toPlainText(), "\n甲\n乙丙丁\n戊");
    EXPECT_TRUE(service_.requests("/ai/meet").empty());
}

TEST_F(SessionTranscript, AutomaticAnswersAreStoredOnTheirOwnLinesEvenWithinOneSecond) {
    AIInterviewModel model = settings(0, 0);
    model.generateAnswerType = 2;
    SettingsStore::setRecord(std::optional<LanguageListModel>(LanguageListModel::defaultLeft()),
                             DefaultsKey<LanguageListModel>(LanguageListModel::kLeftKey));
    SettingsStore::setRecord(std::optional<LanguageListModel>(LanguageListModel::defaultRight()),
                             DefaultsKey<LanguageListModel>(LanguageListModel::kRightKey));
    CountingController* controller = openRecognising(model);
    // Each question takes a stamp of its own, larger than the one before, even when the two
    // come within one second of the wall clock.
    const std::int64_t firstStamp = controller->streamID;
    controller->handleFinalResult("你为什么离职", "Why did you leave");
    const std::int64_t secondStamp = controller->streamID;
    controller->handleFinalResult("你的优点是什么", "");  // no translation: stored empty
    EXPECT_GT(secondStamp, firstStamp);
    EXPECT_GT(controller->streamID, secondStamp);
    ASSERT_EQ(controller->streamModels.size(), 2u);
    EXPECT_EQ(controller->streamModels[0]->id, firstStamp);
    EXPECT_EQ(controller->streamModels[1]->id, secondStamp);

    ASSERT_TRUE(runMainUntil([&] {
        const auto lines = storedLines();
        return lines.size() == 2 && !lines[0].aiResultText.empty() &&
               !lines[1].aiResultText.empty();
    }));
    const auto lines = storedLines();
    EXPECT_TRUE(answers(lines[0].aiResultText, "你为什么离职")) << lines[0].aiResultText;
    EXPECT_TRUE(answers(lines[1].aiResultText, "你的优点是什么")) << lines[1].aiResultText;
    EXPECT_EQ(lines[0].resultText, "Why did you leave");
    EXPECT_EQ(lines[1].resultText, "");
    EXPECT_EQ(lines[0].streamID, firstStamp);
    EXPECT_EQ(lines[1].streamID, secondStamp);

    const auto requests = service_.requests("/ai/meet");
    ASSERT_EQ(requests.size(), 2u);
    // The two streams run side by side: find the first question's request.
    const auto body = requests[0].json().value("txt", "") == "你为什么离职" ? requests[0].json()
                                                                            : requests[1].json();
    EXPECT_EQ(body.value("type", 0), 3);               // answer style 2
    EXPECT_EQ(body.value("txt", ""), "你为什么离职");  // the source text, not its translation
    EXPECT_EQ(body.value("prompt", ""), "产品经理");
    EXPECT_EQ(body.value("original_language", ""), LanguageListModel::defaultLeft().name);
    EXPECT_EQ(body.value("trans_language", ""), LanguageListModel::defaultRight().name);
    // The rows show the answers as they grew.
    ASSERT_TRUE(runMainUntil(
        [&] { return controller->streamModels[1]->responseText == lines[1].aiResultText; }));
}

TEST_F(SessionTranscript, AManualAskSendsTheWholeBoxEmptiesTheAnswersAndStoresTheAnswer) {
    CountingController* controller = openRecognising(settings(1, 1));
    controller->textView()->clear();
    controller->aiResponseTapped();
    EXPECT_FALSE(StatusHUD::shared().isHidden());
    EXPECT_EQ(StatusHUD::shared().statusLabel()->text(), "请输入文本");
    flush();
    EXPECT_TRUE(service_.requests("/ai/meet").empty());

    controller->handleFinalResult("请做个自我介绍", "");
    controller->handleFinalResult("说说你的项目", "");
    controller->aiResponseTapped();
    ASSERT_EQ(controller->streamModels.size(), 1u);
    EXPECT_TRUE(controller->textView()->toPlainText().isEmpty());
    ASSERT_TRUE(runMainUntil([&] { return storedAnswers().size() == 1; }));
    const std::string question = "\n请做个自我介绍\n说说你的项目";
    EXPECT_EQ(storedAnswers()[0].aiQuestionText, question);
    EXPECT_TRUE(answers(storedAnswers()[0].aiResultText, question));
    EXPECT_EQ(service_.requests("/ai/meet").at(0).json().value("trans_language", "?"), "");

    controller->textView()->setPlainText("下一个问题");
    controller->aiResponseTapped();  // a new question empties the answer table first
    ASSERT_EQ(controller->streamModels.size(), 1u);
    EXPECT_EQ(controller->streamModels[0]->question, "下一个问题");
    ASSERT_TRUE(runMainUntil([&] { return storedAnswers().size() == 2; }));
}

TEST_F(SessionTranscript, AStreamThatFailedBeforeAnyTextStoresNothing) {
    TranslationDetailRecord line;
    line.historyId = historyId_;
    line.streamID = 77;
    GRDBDataManager::shared().insertTranslationDetail(line);
    const AIInterviewDetailController::AnswerStore store{historyId_, true, nullptr};
    HistoryRecord otherHistory;
    otherHistory.id = historyId_ + 1000;
    const auto other = GRDBDataManager::shared().insertHistory(otherHistory);
    ASSERT_TRUE(other);
    TranslationDetailRecord otherLine = line;
    otherLine.historyId = *other;
    GRDBDataManager::shared().insertTranslationDetail(otherLine);
    store.storeAnswer(77, "第一个回答", "q");
    // The same stamp in another interview is not this session's line.
    EXPECT_EQ(GRDBDataManager::shared().fetchTranslationDetails(*other).at(0).aiResultText, "");
    store.storeAnswer(77, "", "q");  // a stream that failed before any text
    EXPECT_EQ(storedLines().at(0).aiResultText, "第一个回答");

    // Over the network: an error status stores nothing.
    service_.setFault("/ai/meet", standin::Fault::serverError(true));
    CountingController* controller = openRecognising(settings(1, 1));
    controller->textView()->setPlainText("问题");
    controller->aiResponseTapped();
    ASSERT_TRUE(runMainUntil([&] { return service_.requests("/ai/meet").size() == 1; }));
    settle();
    tick(1);
    flush();
    EXPECT_TRUE(storedAnswers().empty());
}

TEST_F(SessionTranscript, AnswersCutByTheEndKeepTheirTextAndTheirStreamsAreClosed) {
    auto removed = std::make_shared<HeldStream>();
    ReplyGate& silent = makeGate();
    service_.addApiPath("POST", "/ai/meet", [removed, &silent](const standin::Call& call) {
        if (call.json.value("txt", "") == "第一个") return holdOpen(removed, "已到的一半");
        silent.wait();  // nothing at all arrives before the end
        return Reply::stream({dataLine("迟到的回答")});
    });
    CountingController* controller = openRecognising(settings(1, 1));
    controller->textView()->setPlainText("第一个");
    controller->aiResponseTapped();
    ASSERT_TRUE(runMainUntil([&] {
        return controller->streamModels.size() == 1 &&
               controller->streamModels[0]->responseText == "已到的一半";
    }));
    controller->textView()->setPlainText("第二个");
    controller->aiResponseTapped();  // the first answer leaves the table, not the session
    ASSERT_EQ(controller->streamModels.size(), 1u);
    ASSERT_TRUE(runMainUntil([&] { return silent.waiting() >= 1; }));

    window_->close();
    // The removed answer's stream is cancelled too: the service sees its connection go.
    EXPECT_TRUE(runMainUntil([&] { return removed->closed.load(); }));
    ASSERT_TRUE(runMainUntil([&] { return storedAnswers().size() == 1; }));
    silent.open();
    settle();
    advance(std::chrono::seconds(2));
    flush();
    // The text received is its question's answer; the stream that brought none stores nothing.
    const auto stored = storedAnswers();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].aiQuestionText, "第一个");
    EXPECT_EQ(stored[0].aiResultText, "已到的一半");
}

TEST_F(SessionTranscript, AutomaticAnswersCutByTheNetworkOrTheEndKeepTheirTextOnTheirLines) {
    auto held = std::make_shared<HeldStream>();
    service_.addApiPath("POST", "/ai/meet", [held](const standin::Call& call) {
        if (call.json.value("txt", "") == "断网的问题") {
            return Reply::stream({dataLine("网断前"), dataLine("不会到")});
        }
        return holdOpen(held, "结束前");
    });
    service_.setFault("/ai/meet", standin::Fault::brokenStream().times(1));
    CountingController* controller = openRecognising(settings(1, 0));
    controller->handleFinalResult("断网的问题", "");
    ASSERT_TRUE(runMainUntil([&] {
        const auto lines = storedLines();
        return lines.size() == 1 && !lines[0].aiResultText.empty();
    }));
    EXPECT_EQ(storedLines()[0].aiResultText, "网断前");

    controller->handleFinalResult("结束时的问题", "");
    ASSERT_TRUE(runMainUntil([&] {
        return controller->streamModels.size() == 2 &&
               controller->streamModels[1]->responseText == "结束前";
    }));
    window_->close();
    EXPECT_TRUE(runMainUntil([&] { return held->closed.load(); }));
    ASSERT_TRUE(runMainUntil([&] {
        const auto lines = storedLines();
        return lines.size() == 2 && !lines[1].aiResultText.empty();
    }));
    const auto lines = storedLines();
    EXPECT_EQ(lines[0].aiResultText, "网断前");
    EXPECT_EQ(lines[1].sourceText, "结束时的问题");
    EXPECT_EQ(lines[1].aiResultText, "结束前");
}

TEST_F(SessionTranscript, AskingAfterTheEndChangesNothingAndSaysWhy) {
    CountingController* controller = openRecognising(settings(1, 1));
    controller->textView()->setPlainText("第一个");
    controller->aiResponseTapped();
    ASSERT_TRUE(runMainUntil([&] { return storedAnswers().size() == 1; }));
    ASSERT_TRUE(runMainUntil([&] {
        return controller->streamModels.at(0)->responseText == storedAnswers()[0].aiResultText;
    }));
    const std::string answer = controller->streamModels[0]->responseText;
    controller->stopTapped();
    ASSERT_TRUE(runMainUntil([&] { return controller->hasEnded() && !controller->isTranslating; }));
    settle();
    flush();

    const std::vector<std::pair<const char*, std::function<void()>>> asks = {
        {"回答", [&] { controller->aiResponseTapped(); }},
        {"Ctrl+K", [&] { pressKey(controller->textView(), Qt::Key_K, Qt::ControlModifier, "k"); }},
    };
    for (const auto& [name, ask] : asks) {
        if (!StatusHUD::shared().isHidden()) StatusHUD::shared().hide(false);
        controller->textView()->setPlainText("结束后的问题");
        ask();
        EXPECT_FALSE(StatusHUD::shared().isHidden()) << name;
        EXPECT_EQ(StatusHUD::shared().statusLabel()->text(), "面试已结束，无法再提问") << name;
        ASSERT_EQ(controller->streamModels.size(), 1u) << name;
        EXPECT_EQ(controller->streamModels[0]->responseText, answer) << name;
        EXPECT_EQ(controller->textView()->toPlainText(), "结束后的问题") << name;
    }
    flush();
    EXPECT_EQ(service_.requests("/ai/meet").size(), 1u);
    EXPECT_EQ(storedAnswers().size(), 1u);
}

// Counts the main-queue items Qt delivers (queued calls).
class QueuedCalls : public QObject {
  public:
    QueuedCalls() { qApp->installEventFilter(this); }
    ~QueuedCalls() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) ++count;
        return false;
    }
    int count = 0;
};

TEST_F(SessionTranscript, AFloodOfPiecesWaitsOnTheMainQueueAsOneUpdate) {
    constexpr int kPieces = 20000;
    service_.addApiPath("POST", "/ai/meet", [](const standin::Call&) {
        auto next = std::make_shared<int>(0);
        return Reply::produced([next]() -> std::optional<std::string> {
            if (*next >= kPieces) return std::nullopt;
            return dataLine(std::string(1, static_cast<char>('a' + (*next)++ % 26)));
        });
    });
    CountingController* controller = openRecognising(settings(1, 1));
    controller->textView()->setPlainText("问题");
    controller->aiResponseTapped();
    flush();
    // The main thread stays busy (runs nothing) while the whole answer arrives and is stored.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (storedAnswers().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    const auto stored = storedAnswers();
    ASSERT_EQ(stored.size(), 1u);
    ASSERT_EQ(stored[0].aiResultText.size(), static_cast<std::size_t>(kPieces));
    QueuedCalls calls;
    flush();
    EXPECT_LE(calls.count, 10);
    ASSERT_EQ(controller->streamModels.size(), 1u);
    EXPECT_EQ(controller->streamModels[0]->responseText, stored[0].aiResultText);
}

}  // namespace
}  // namespace pex::test

namespace pex::test {
namespace {

class SessionTables : public SessionTranscript {};

// Storage that fails while a session runs: the user is told once, above the session window,
// the session goes on, and what was stored before stays.
class SessionStorage : public SessionTranscript {
  protected:
    // From now on the history database refuses one kind of write, as a full disk would (a
    // temporary trigger on the process's own connection, dropped at the end).
    void refuseWrites(const std::string& event, const std::string& table) {
        run("CREATE TEMP TRIGGER refuse_write BEFORE " + event + " ON main." + table +
            " BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
    }
    ~SessionStorage() override { run("DROP TRIGGER IF EXISTS temp.refuse_write"); }

    void expectToldOnce(const char* text, const std::string& systemWords) {
        ASSERT_TRUE(runMainUntil([&] { return !sheets_.empty(); }));
        settle();
        flush();
        ASSERT_EQ(sheets_.size(), 1u);
        const std::string told =
            std::string(AIInterviewDetailController::kStorageFailedTitle) + "|" + text + "\n";
        EXPECT_EQ(sheets_[0].rfind(told, 0), 0u) << sheets_[0];
        EXPECT_EQ(sheets_[0], told + systemWords);
        EXPECT_TRUE(controller_->isTranslating);  // the session goes on
        EXPECT_FALSE(controller_->hasEnded());
    }

  private:
    static void run(const std::string& sql) {
        DatabaseQueue* queue = GRDBDataManager::shared().dbQueue();
        ASSERT_TRUE(queue);
        ASSERT_TRUE(queue->write([&](Database& db) { return db.execute(sql); }));
    }
};

TEST_F(SessionStorage, ARecordingOnAFullDiskIsToldOnceAndKeepsWhatWasWritten) {
    constexpr int kFrames = 1000;  // 1.28 MB of recording, beyond the limit below
    capture_->setScript(std::vector<FakeCaptureDevice::Buffer>(
        kFrames, FakeCaptureDevice::Buffer(kVoiceFrameBytes, 7)));
    const auto file = StandardFolders::documents() / (std::string(kFileName) + ".wav");
    {
        FileSizeLimit fullDisk(512 * 1024);
        ASSERT_TRUE(fullDisk.isActive());
        openRecognising(settings(1, 1));
        ASSERT_TRUE(capture_->waitUntilScriptDelivered());
        PXRecorderManager::shared().writeQueue().sync([] {});
        expectToldOnce(AIInterviewDetailController::kRecordingNotSavedText,
                       "System error : File too large.");
    }
    EXPECT_EQ(console_.linesStartingWith("写文件失败: "), 1);  // not one per frame
    EXPECT_GT(std::filesystem::file_size(file), 400u * 1024u);
}

TEST_F(SessionStorage, TranscriptLinesThatCannotBeStoredAreToldOnceAndTheEarlierOnesStay) {
    CountingController* controller = openRecognising(settings(1, 1));
    controller->handleFinalResult("第一句", "");
    refuseWrites("INSERT", "translationDetailRecord");
    controller->handleFinalResult("第二句", "");
    controller->handleFinalResult("第三句", "");
    expectToldOnce(AIInterviewDetailController::kRecordsNotSavedText, "database or disk is full");
    EXPECT_EQ(controller->topArr.size(), 3u);  // still shown
    const auto lines = storedLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].sourceText, "第一句");
}

TEST_F(SessionStorage, AnswersThatCannotBeStoredAreToldOnceAndTheirLinesStay) {
    CountingController* controller = openRecognising(settings(1, 0));
    refuseWrites("UPDATE", "translationDetailRecord");
    controller->handleFinalResult("你为什么离职", "");
    controller->handleFinalResult("你的优点是什么", "");
    ASSERT_TRUE(runMainUntil([&] {
        return console_.linesStartingWith("更新失败：") == 2;  // both answers came and failed
    }));
    expectToldOnce(AIInterviewDetailController::kRecordsNotSavedText, "database or disk is full");
    const auto lines = storedLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].sourceText, "你为什么离职");
    EXPECT_EQ(lines[0].aiResultText, "");
}

TEST_F(SessionTables, TheTablesShowTheRowsTheLiveRowAndTheAnswers) {
    CountingController* controller = openRecognising(settings(0, 1));
    controller->handleFinalResult("第一句", "first");
    controller->handleIntermediateResult("第二", "sec");
    flush();
    TableView* transcript = controller->topTableView();
    EXPECT_EQ(transcript->numberOfRows(), 2);
    auto* live = dynamic_cast<AiInterviewCellMac*>(controller->viewForRow(*transcript, 1));
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->model()->index, 2);
    EXPECT_EQ(live->model()->sourceText, "第二");
    EXPECT_EQ(live->sourceLab.text(), "2:第二");

    controller->textView()->setPlainText("问题");
    controller->aiResponseTapped();
    TableView* answers = controller->bottomTableView();
    ASSERT_TRUE(runMainUntil([&] { return storedAnswers().size() == 1; }));
    flush();
    EXPECT_EQ(answers->numberOfRows(), 1);
    auto* answer = dynamic_cast<AiInterviewAiCellMac*>(controller->viewForRow(*answers, 0));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->sourceLab.text().toStdString(), "1:" + storedAnswers()[0].aiResultText);
    EXPECT_EQ(controller->viewForRow(*answers, 1), nullptr);
}

TEST_F(SessionTables, ATableFollowsItsEndUntilTheUserScrollsMoreThan120PointsAway) {
    CountingController* controller = openRecognising(settings(1, 1));
    for (int i = 0; i < 60; ++i) controller->handleFinalResult("第" + std::to_string(i) + "句", "");
    flush();
    QScrollBar* bar = controller->topTableView()->verticalScrollBar();
    QPushButton* button = controller->topScrollToBottomButton();
    ASSERT_GT(bar->maximum(), 400);
    EXPECT_EQ(bar->value(), bar->maximum());  // following
    EXPECT_TRUE(button->isHidden());

    bar->setValue(bar->maximum() - 120);
    EXPECT_TRUE(button->isHidden());
    bar->setValue(bar->maximum() - 121);
    EXPECT_FALSE(button->isHidden());
    const int reading = bar->value();
    controller->handleFinalResult("新的一句", "");
    flush();
    EXPECT_EQ(bar->value(), reading);  // the reading position stays

    click(button);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(button->isHidden());
    controller->handleFinalResult("又一句", "");
    flush();
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(SessionTables, TheDividerStaysBetween100And500PointsFromTheTop) {
    CountingController* controller = openRecognising(settings(1, 0));
    QSplitter* split = controller->splitView();
    ASSERT_NE(split, nullptr);
    split->setSizes({20, split->height()});
    EXPECT_EQ(split->widget(0)->height(), 100);
    split->setSizes({900, 10});
    EXPECT_EQ(split->widget(0)->height(), 500);
}

}  // namespace
}  // namespace pex::test

namespace pex::test {
namespace {

PXTranslationHistoryDetailsModel line(const std::string& source, const std::string& translation,
                                      int index = 1, int font = 16) {
    PXTranslationHistoryDetailsModel model;
    model.sourceText = source;
    model.resultText = translation;
    model.index = index;
    model.font = font;
    return model;
}

TEST(SessionRowHeights, FollowTheMeasuredTextsOfTheRows) {
    using Controller = AIInterviewDetailController;
    const auto alone = line("请先简单介绍一下你自己，以及你为什么想应聘这个岗位。", "");
    const auto both =
        line("请先简单介绍一下你自己。", "Please briefly introduce yourself and tell us why.");
    for (const int width : {120, 400, 900}) {
        SCOPED_TRACE(width);
        const int w = width - 22;
        const int h1 = static_cast<int>(std::ceil(transcriptRowText(alone).heightForWidth(w)));
        EXPECT_EQ(Controller::transcriptRowHeight(alone, width), h1 + 8);
        const int s1 = static_cast<int>(std::ceil(transcriptRowText(both).heightForWidth(w)));
        const int s2 = static_cast<int>(std::ceil(translationRowText(both).heightForWidth(w)));
        EXPECT_EQ(Controller::transcriptRowHeight(both, width), s1 + s2 + 16);
        const int a = static_cast<int>(
            std::ceil(answerRowText(2, QStringLiteral("好的，我来回答这个问题。"), 18)
                          .heightForWidth(width - 42)));
        EXPECT_EQ(Controller::answerRowHeight(3, "好的，我来回答这个问题。", 18, width), a + 24);
    }
    // Before the table has a width, and an answer table too narrow for its text.
    EXPECT_EQ(Controller::transcriptRowHeight(both, 0), 44);
    EXPECT_EQ(Controller::answerRowHeight(1, "x", 14, 0), 44);
    EXPECT_EQ(Controller::answerRowHeight(1, "x", 14, 42), 52);
    EXPECT_NE(Controller::answerRowHeight(1, "x", 14, 43), 52);
    // A narrower table wraps a long sentence onto more lines.
    EXPECT_GT(Controller::transcriptRowHeight(alone, 120),
              Controller::transcriptRowHeight(alone, 900));
}

// An answer row as a stream fills it.
std::shared_ptr<AIInterviewDetailController::AnswerRow> answerRow(std::int64_t id) {
    auto row = std::make_shared<AIInterviewDetailController::AnswerRow>();
    row->id = id;
    row->question = "问题";
    return row;
}

std::string longAnswer(int characters) {
    std::string text;
    while (QString::fromStdString(text).size() < characters) {
        text += "好的，我来回答这个问题。首先我在 React 项目中负责架构，带领 5 人团队。\n";
    }
    return text;
}

int modelResets(TableView* table, std::vector<QMetaObject::Connection>& keep, int& count) {
    keep.push_back(
        QObject::connect(table->model(), &QAbstractItemModel::modelReset, [&count] { ++count; }));
    return count;
}

TEST_F(SessionTables, BeforeTheTablesHaveAWidthEveryRowIs44High) {
    // A controller whose window has not been made: both tables are 0 wide.
    CountingController bare(settings(1, 1), historyId_, kFileName);
    EXPECT_EQ(AIInterviewDetailController::tableContentWidth(bare.topTableView()), 0);
    bare.topArr.push_back(line("第一句", "first"));
    bare.topArr.push_back(line("第二句", ""));
    bare.recomputeTranscriptHeights();
    EXPECT_EQ(bare.topCellHeight, (std::vector<double>{44, 44}));
    PXTranslationHistoryDetailsModel live;
    live.sourceText = "第三";
    bare.setCenterModel(live);
    EXPECT_EQ(bare.centerRowHeight, 44);
    bare.streamModels.push_back(answerRow(1));
    bare.recomputeAnswerHeights();
    EXPECT_EQ(bare.bottomCellHeight, std::vector<double>{44});
    EXPECT_EQ(bare.cachedTopTableWidth, 0);
    EXPECT_EQ(bare.cachedBottomTableWidth, 0);
}

TEST_F(SessionTables, TheHeightArraysHoldThePartsFormulasAtTheTablesWidths) {
    CountingController* controller = openRecognising(settings(1, 1));
    controller->handleFinalResult(
        "请先简单介绍一下你自己，以及你为什么想应聘这个岗位，你的优势是什么？",
        "Please introduce yourself and tell us why you applied.");
    controller->handleFinalResult("好的。", "");
    controller->handleIntermediateResult("你最有成就感的项目是哪一个", "");
    flush();
    TableView* transcript = controller->topTableView();
    const int width = transcript->viewport()->width();
    ASSERT_GT(width, 100);
    EXPECT_EQ(AIInterviewDetailController::tableContentWidth(transcript), width);
    EXPECT_EQ(controller->cachedTopTableWidth, width);
    ASSERT_EQ(controller->topCellHeight.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const auto& row = controller->topArr[static_cast<std::size_t>(i)];
        const int expected = AIInterviewDetailController::transcriptRowHeight(
            line(row.sourceText, row.resultText, i + 1, controller->fontSize), width);
        EXPECT_EQ(controller->topCellHeight[static_cast<std::size_t>(i)], expected);
        EXPECT_EQ(*controller->heightOfRow(*transcript, i, 1), expected);
        EXPECT_EQ(transcript->rectOfRow(i).height(), expected);
    }
    // The live row, numbered after the transcript rows.
    const int live = AIInterviewDetailController::transcriptRowHeight(
        line("你最有成就感的项目是哪一个", "", 3, controller->fontSize), width);
    EXPECT_EQ(controller->centerRowHeight, live);
    EXPECT_EQ(*controller->heightOfRow(*transcript, 2, 1), live);
    EXPECT_EQ(transcript->rectOfRow(2).height(), live);
    EXPECT_EQ(*controller->heightOfRow(*transcript, 3, 1), 44);

    // Answers: ceil(h + 16) + 8 of the numbered text at the answer table's width.
    TableView* answers = controller->bottomTableView();
    const int answerWidth = answers->viewport()->width();
    auto first = answerRow(1);
    auto second = answerRow(2);
    controller->streamModels = {first, second};
    controller->recomputeAnswerHeights();
    controller->reloadAnswerTable();
    controller->updateAnswerRow(second, longAnswer(300));
    flush();
    EXPECT_EQ(controller->cachedBottomTableWidth, answerWidth);
    EXPECT_EQ(controller->bottomCellHeight,
              (std::vector<double>{static_cast<double>(AIInterviewDetailController::answerRowHeight(
                                       1, "", controller->fontSize, answerWidth)),
                                   static_cast<double>(AIInterviewDetailController::answerRowHeight(
                                       2, longAnswer(300), controller->fontSize, answerWidth))}));
    EXPECT_EQ(answers->rectOfRow(1).height(), controller->bottomCellHeight[1]);

    // The data source uses a stored height only when it is a finite number above 0.
    controller->bottomCellHeight = {0, std::nan("")};
    EXPECT_EQ(*controller->heightOfRow(*answers, 0, answerWidth), 44);
    EXPECT_EQ(*controller->heightOfRow(*answers, 1, answerWidth), 44);
    EXPECT_EQ(*controller->heightOfRow(*answers, 2, answerWidth), 44);
    controller->topCellHeight[0] = -3;
    EXPECT_EQ(*controller->heightOfRow(*transcript, 0, width), 44);
}

TEST_F(SessionTables, AppendingMeasuresTheNewRowAloneWithTheHeightsOfMeasuringAll) {
    CountingController* controller = openRecognising(settings(1, 1));
    for (int i = 0; i < 5; ++i) {
        controller->handleFinalResult("第" + std::to_string(i) + "句，说得比较长一些，好让它换行。",
                                      "");
    }
    flush();
    const int width = controller->topTableView()->viewport()->width();
    auto measuredAfresh = [&] {
        std::vector<double> heights;
        for (std::size_t i = 0; i < controller->topArr.size(); ++i) {
            const auto& row = controller->topArr[i];
            heights.push_back(AIInterviewDetailController::transcriptRowHeight(
                line(row.sourceText, row.resultText, static_cast<int>(i) + 1, controller->fontSize),
                width));
        }
        return heights;
    };
    EXPECT_EQ(controller->topCellHeight, measuredAfresh());
    // A height already kept is not measured again when a row is appended (a mark put in its
    // place stays), while the new row is measured.
    const double kept = controller->topCellHeight[1];
    controller->topCellHeight[1] = 1234;
    controller->handleFinalResult("新的一句。", "");
    EXPECT_EQ(controller->topCellHeight[1], 1234);
    controller->topCellHeight[1] = kept;
    EXPECT_EQ(controller->topCellHeight, measuredAfresh());
}

TEST_F(SessionTables, ALiveRowChangeOrItsFinalSentenceRefreshesThatRowAlone) {
    CountingController* controller = openRecognising(settings(1, 1));
    for (int i = 0; i < 3; ++i) controller->handleFinalResult("第" + std::to_string(i) + "句", "");
    flush();
    TableView* transcript = controller->topTableView();
    int resets = 0;
    std::vector<QMetaObject::Connection> keep;
    modelResets(transcript, keep, resets);
    controller->handleIntermediateResult("第", "");  // a live row comes: the table reloads
    flush();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(transcript->numberOfRows(), 4);

    // While the live row stays, it is refreshed alone, also when it grows a line.
    std::string spoken = "第";
    const int oneLine = transcript->rectOfRow(3).height();
    while (controller->centerRowHeight == oneLine) {
        spoken += "四句话越说越长";
        controller->handleIntermediateResult(spoken, "");
        ASSERT_LT(spoken.size(), 3000u);
    }
    flush();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(transcript->rectOfRow(3).height(), controller->centerRowHeight);
    EXPECT_EQ(controller->centerRowHeight,
              AIInterviewDetailController::transcriptRowHeight(
                  line(spoken, "", 4, controller->fontSize), transcript->viewport()->width()));
    auto* cell = dynamic_cast<AiInterviewCellMac*>(controller->viewForRow(*transcript, 3));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->sourceLab.text().toStdString(), "4:" + spoken);
    // The table still follows its end.
    QScrollBar* bar = transcript->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());

    // A final sentence replaces the live row: that row alone is placed again (no reload), the
    // rows above it where they were, the live row's height 44.
    const QRect above = transcript->rectOfRow(2);
    controller->handleFinalResult(spoken, "");
    flush();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(controller->centerRowHeight, 44);
    EXPECT_EQ(transcript->numberOfRows(), 4);
    EXPECT_EQ(transcript->rectOfRow(3).height(), controller->topCellHeight[3]);
    EXPECT_EQ(transcript->rectOfRow(3).top(), above.bottom() + 1 + 8);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(SessionTables, AGrowingAnswerRefreshesItsRowAloneAndItsVisibleCellInPlace) {
    CountingController* controller = openRecognising(settings(1, 1));
    TableView* answers = controller->bottomTableView();
    auto row = answerRow(1);
    controller->streamModels = {row};
    controller->recomputeAnswerHeights();
    controller->reloadAnswerTable();
    flush();
    int resets = 0;
    std::vector<QMetaObject::Connection> keep;
    modelResets(answers, keep, resets);
    const int width = answers->viewport()->width();
    const std::string text = longAnswer(1500);
    const QString whole = QString::fromStdString(text);
    int grownLines = 0;
    for (int at = 0; at < whole.size(); at += 7) {
        const std::string sofar = whole.left(at + 7).toStdString();
        const double before = controller->bottomCellHeight[0];
        controller->updateAnswerRow(row, sofar);
        if (controller->bottomCellHeight[0] != before) ++grownLines;
        ASSERT_EQ(controller->bottomCellHeight[0], AIInterviewDetailController::answerRowHeight(
                                                       1, sofar, controller->fontSize, width));
        // The row is shown, so its cell is refilled at once.
        auto* cell = dynamic_cast<AiInterviewAiCellMac*>(
            answers->makeViewWithIdentifier(AiInterviewAiCellMac::kIdentifier));
        ASSERT_NE(cell, nullptr);
        ASSERT_EQ(cell->sourceLab.text().toStdString(), "1:" + sofar);
    }
    flush();
    EXPECT_GT(grownLines, 3);
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(answers->rectOfRow(0).height(), controller->bottomCellHeight[0]);
    QScrollBar* bar = answers->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());  // following the growing end
}

TEST_F(SessionTables, APieceForAnAnswerOutOfViewUpdatesItsHeightWithoutFillingACell) {
    CountingController* controller = openRecognising(settings(1, 1));
    TableView* answers = controller->bottomTableView();
    auto first = answerRow(1);
    auto second = answerRow(2);
    controller->streamModels = {first, second};
    controller->recomputeAnswerHeights();
    controller->reloadAnswerTable();
    controller->updateAnswerRow(first, longAnswer(2000));
    controller->updateAnswerRow(second, longAnswer(2000));
    flush();
    // Following the end: the second answer fills the view, the first is above it.
    ASSERT_FALSE(answers->rectOfRow(0).intersects(answers->viewport()->rect()));
    auto* cell = dynamic_cast<AiInterviewAiCellMac*>(
        answers->makeViewWithIdentifier(AiInterviewAiCellMac::kIdentifier));
    ASSERT_NE(cell, nullptr);
    ASSERT_TRUE(cell->sourceLab.text().startsWith(QStringLiteral("2:")));

    const std::string more = longAnswer(2000) + "最后再补充一整段很长的话，" + longAnswer(200);
    controller->updateAnswerRow(first, more);
    EXPECT_EQ(controller->bottomCellHeight[0],
              AIInterviewDetailController::answerRowHeight(1, more, controller->fontSize,
                                                           answers->viewport()->width()));
    EXPECT_TRUE(cell->sourceLab.text().startsWith(QStringLiteral("2:")));  // not refilled
    flush();
    EXPECT_EQ(answers->rectOfRow(0).height(), controller->bottomCellHeight[0]);
}

TEST_F(SessionTables, LatePiecesOfAnswersAManualQuestionRemovedChangeNothing) {
    CountingController* controller = openRecognising(settings(1, 1));
    auto old = answerRow(1);
    controller->streamModels = {old};
    controller->recomputeAnswerHeights();
    controller->updateAnswerRow(old, "旧的回答");
    controller->streamModels.clear();  // as a manual question does
    controller->recomputeAnswerHeights();
    controller->reloadAnswerTable();
    controller->updateAnswerRow(old, "旧的回答还在继续");
    flush();
    EXPECT_TRUE(controller->bottomCellHeight.empty());
    EXPECT_EQ(controller->bottomTableView()->numberOfRows(), 0);
    EXPECT_EQ(old->responseText, "旧的回答");
}

TEST_F(SessionTables, TheSessionAnswerCellDrawsWhatAPlainAnswerCellDraws) {
    CountingController* controller = openRecognising(settings(1, 1));
    TableView* answers = controller->bottomTableView();
    auto row = answerRow(1);
    controller->streamModels = {row};
    controller->recomputeAnswerHeights();
    const std::string text = longAnswer(400);
    controller->updateAnswerRow(row, text.substr(0, 200));
    controller->updateAnswerRow(row, text);
    TableCellView* cell = controller->viewForRow(*answers, 0);
    ASSERT_NE(cell, nullptr);
    AiInterviewAiCellMac plain;
    plain.setPrefixedText(QStringLiteral("1:"), QString::fromStdString(text), controller->fontSize);
    const int width = 420;
    const int height = plain.heightForWidth(width);
    EXPECT_EQ(cell->heightForWidth(width), height);
    auto render = [&](TableCellView& drawn) {
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        QPainter painter(&image);
        drawn.draw(painter, QRect(0, 0, width, height));
        return image;
    };
    EXPECT_EQ(render(*cell), render(plain));
}

TEST_F(SessionTables, RowsAreMeasuredAgainWhenTheTableNarrowsOrWidens) {
    CountingController* controller = openRecognising(settings(1, 1));
    controller->handleFinalResult(
        "请先简单介绍一下你自己，以及你为什么想应聘这个岗位，你的优势是什么。", "");
    auto answer = answerRow(1);
    controller->streamModels = {answer};
    controller->recomputeAnswerHeights();
    controller->reloadAnswerTable();
    controller->updateAnswerRow(answer, longAnswer(300));
    flush();
    TableView* table = controller->topTableView();
    TableView* answers = controller->bottomTableView();
    auto expectMeasuredAtCurrentWidth = [&] {
        const int width = table->viewport()->width();
        EXPECT_EQ(controller->cachedTopTableWidth, width);
        EXPECT_EQ(controller->topCellHeight[0],
                  AIInterviewDetailController::transcriptRowHeight(
                      line(controller->topArr[0].sourceText, "", 1, controller->fontSize), width));
        EXPECT_EQ(table->rectOfRow(0).height(), controller->topCellHeight[0]);
        const int answerWidth = answers->viewport()->width();
        EXPECT_EQ(controller->cachedBottomTableWidth, answerWidth);
        EXPECT_EQ(controller->bottomCellHeight[0],
                  AIInterviewDetailController::answerRowHeight(1, answer->responseText,
                                                               controller->fontSize, answerWidth));
        EXPECT_EQ(answers->rectOfRow(0).height(), controller->bottomCellHeight[0]);
    };
    const int wide = table->viewport()->width();
    const double wideHeight = controller->topCellHeight[0];
    window_->resize(420, window_->height());
    flush();
    ASSERT_LT(table->viewport()->width(), wide);
    {
        SCOPED_TRACE("narrowed");
        expectMeasuredAtCurrentWidth();
        EXPECT_GT(controller->topCellHeight[0], wideHeight);  // more lines: nothing clipped
    }
    window_->resize(1000, window_->height());
    flush();
    {
        SCOPED_TRACE("widened");
        EXPECT_EQ(table->viewport()->width(), wide);
        expectMeasuredAtCurrentWidth();
        EXPECT_EQ(controller->topCellHeight[0], wideHeight);
    }
}

TEST_F(SessionTables, ALongTranscriptFollowsItsRealEnd) {
    CountingController* controller = openRecognising(settings(1, 1));
    PXTranslationHistoryDetailsModel row;
    row.sourceText = "这是很长的面试记录中的一句。";
    controller->topArr.assign(1500, row);
    controller->handleFinalResult("最后一句。", "");
    flush();
    TableView* table = controller->topTableView();
    QScrollBar* bar = table->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    const QRect last = table->rectOfRow(1500);
    // The last row is in view, whole.
    EXPECT_GE(last.top(), 0);
    EXPECT_LE(last.bottom(), table->viewport()->height());
}

// A transcript of `rows` sentences of one to seven phrases, so rows wrap differently at
// other widths and fonts, followed by the table.
void fillTranscript(CountingController* controller, std::size_t rows) {
    for (std::size_t i = 0; i < rows; ++i) {
        PXTranslationHistoryDetailsModel row;
        for (std::size_t k = 0; k <= i % 7; ++k)
            row.sourceText += "这是第" + std::to_string(i) + "句，";
        if (i % 5 == 0) row.resultText = "a translation that is long enough to wrap";
        controller->topArr.push_back(row);
    }
    controller->recomputeTranscriptHeights();
    controller->reloadTranscriptTable();
}

std::vector<double> measuredAfresh(const CountingController& controller) {
    std::vector<double> heights;
    for (std::size_t i = 0; i < controller.topArr.size(); ++i) {
        const auto& row = controller.topArr[i];
        heights.push_back(AIInterviewDetailController::transcriptRowHeight(
            line(row.sourceText, row.resultText, static_cast<int>(i) + 1, controller.fontSize),
            controller.topTableView()->viewport()->width()));
    }
    return heights;
}

TEST_F(SessionTables, AfterAWidthOrFontChangeTheSlicesEndWithTheHeightsOfMeasuringAll) {
    CountingController* controller = openRecognising(settings(1, 1));
    constexpr std::size_t kRows = 700;
    fillTranscript(controller, kRows);
    flush();
    TableView* table = controller->topTableView();
    const struct {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        {"narrower", [&] { window_->resize(420, window_->height()); }},
        {"a larger font",
         [&] {
             controller->fontSize += 4;
             controller->recomputeTranscriptHeights();
             controller->reloadTranscriptTable();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> before = controller->topCellHeight;
        c.change();
        flush();
        const std::vector<double> expected = measuredAfresh(*controller);
        ASSERT_NE(expected, before);
        // At once: the rows in view (the table follows its end), the others later.
        const std::size_t left = controller->transcriptRowsToMeasure();
        EXPECT_GT(left, kRows / 2);
        EXPECT_LT(left, kRows);
        int inView = 0;
        for (int row = 0; row < static_cast<int>(kRows); ++row) {
            if (!table->rectOfRow(row).intersects(table->viewport()->rect())) continue;
            ++inView;
            EXPECT_EQ(controller->topCellHeight[static_cast<std::size_t>(row)],
                      expected[static_cast<std::size_t>(row)])
                << row;
        }
        EXPECT_GT(inView, 0);
        // A slice asked for early starts no second chain: one slice per gap still.
        controller->measureTranscriptSlice();
        const std::size_t afterOne = controller->transcriptRowsToMeasure();
        EXPECT_EQ(afterOne, left - AIInterviewDetailController::kMeasureSliceRows);
        int slices = 0;
        while (controller->transcriptRowsToMeasure() > 0 && slices < 100) {
            advance(AIInterviewDetailController::kMeasureSliceGap);
            ++slices;
        }
        EXPECT_EQ(slices,
                  static_cast<int>((afterOne + AIInterviewDetailController::kMeasureSliceRows - 1) /
                                   AIInterviewDetailController::kMeasureSliceRows));
        EXPECT_EQ(controller->topCellHeight, expected);
        for (int row : {0, 350, static_cast<int>(kRows) - 1}) {
            EXPECT_EQ(table->rectOfRow(row).height(), expected[static_cast<std::size_t>(row)]);
        }
        QScrollBar* bar = table->verticalScrollBar();
        EXPECT_EQ(bar->value(), bar->maximum());
    }
}

TEST_F(SessionTables, TheTopRowInViewStaysInPlaceAcrossAWidthChange) {
    CountingController* controller = openRecognising(settings(1, 1));
    fillTranscript(controller, 700);
    flush();
    TableView* table = controller->topTableView();
    QScrollBar* bar = table->verticalScrollBar();
    constexpr int kTop = 350;
    bar->setValue(bar->value() + table->rectOfRow(kTop).top() + 10);  // 10 points into it
    ASSERT_EQ(table->rectOfRow(kTop).top(), -10);
    ASSERT_FALSE(controller->topScrollToBottomButton()->isHidden());  // the user reads back
    const int position = bar->value();
    window_->resize(420, window_->height());
    flush();
    ASSERT_GT(controller->transcriptRowsToMeasure(), 0u);
    EXPECT_EQ(table->rectOfRow(kTop).top(), -10);
    for (int slice = 0; slice < 100 && controller->transcriptRowsToMeasure() > 0; ++slice) {
        advance(AIInterviewDetailController::kMeasureSliceGap);
        EXPECT_EQ(table->rectOfRow(kTop).top(), -10);
    }
    EXPECT_EQ(controller->transcriptRowsToMeasure(), 0u);
    EXPECT_GT(bar->value(), position);  // the rows above it grew: the view moved with them
    // A sentence appended meanwhile leaves the reader where they are.
    controller->handleFinalResult("新的一句。", "");
    flush();
    EXPECT_EQ(table->rectOfRow(kTop).top(), -10);
}

TEST_F(SessionTables, AScrollPositionExactlyAtTheEndLeavesTheButtonAsItIs) {
    CountingController* controller = openRecognising(settings(1, 1));
    for (int i = 0; i < 60; ++i) controller->handleFinalResult("第" + std::to_string(i) + "句", "");
    flush();
    QScrollBar* bar = controller->topTableView()->verticalScrollBar();
    QPushButton* button = controller->topScrollToBottomButton();
    bar->setValue(bar->maximum() - 200);
    ASSERT_FALSE(button->isHidden());
    bar->setValue(bar->maximum());
    EXPECT_FALSE(button->isHidden());
    bar->setValue(bar->maximum() - 100);
    EXPECT_TRUE(button->isHidden());
}

}  // namespace
}  // namespace pex::test
