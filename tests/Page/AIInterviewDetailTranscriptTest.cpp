// What the session window makes of recognised sentences: the live and transcript rows with
// their session times, the stored transcript lines in the real history database, and the
// answers asked for them (automatically, or from the question box), streamed from the stand-in.
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <cmath>

#include "Page/AIInterviewPages/AiInterviewAiCellMac.h"
#include "Page/AIInterviewPages/AiInterviewCellMac.h"
#include "Page/AIInterviewPages/ConversationRowText.h"

#include "Page/SessionWindowFixture.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "service/GRDBDataManager.h"
#include "service/HistoryRecord.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using standin::Reply;

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
    const std::int64_t firstStamp = controller->streamID;
    controller->handleFinalResult("你为什么离职", "Why did you leave");
    controller->handleFinalResult("你的优点是什么", "");  // no translation: stored empty
    EXPECT_EQ(controller->streamID, firstStamp + 2);      // each question takes a stamp of its own
    ASSERT_EQ(controller->streamModels.size(), 2u);

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
    EXPECT_NE(lines[0].streamID, lines[1].streamID);

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

TEST_F(SessionTranscript, AFailedStreamNeverReplacesAStoredAnswer) {
    TranslationDetailRecord line;
    line.historyId = historyId_;
    line.streamID = 77;
    GRDBDataManager::shared().insertTranslationDetail(line);
    const AIInterviewDetailController::AnswerStore store{historyId_, true,
                                                         std::make_shared<std::atomic<bool>>(true)};
    HistoryRecord otherHistory;
    otherHistory.id = historyId_ + 1000;
    const auto other = GRDBDataManager::shared().insertHistory(otherHistory);
    ASSERT_TRUE(other);
    TranslationDetailRecord otherLine = line;
    otherLine.historyId = *other;
    GRDBDataManager::shared().insertTranslationDetail(otherLine);
    store.storeAnswer(77, "第一个回答", "q", StreamOutcome::finished);
    // The same stamp in another interview is not this session's line.
    EXPECT_EQ(GRDBDataManager::shared().fetchTranslationDetails(*other).at(0).aiResultText, "");
    store.storeAnswer(77, "", "q", StreamOutcome::failed);
    store.storeAnswer(77, "半", "q", StreamOutcome::failed);
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

TEST_F(SessionTranscript, EndingTheSessionCancelsEveryStreamAndNothingIsStoredAfterwards) {
    ReplyGate& gate = makeGate();
    service_.addApiPath("POST", "/ai/meet", [&gate](const standin::Call&) {
        gate.wait();
        return Reply::stream({"data: {\"data\":{\"content\":\"迟到的回答\"}}\n"});
    });
    CountingController* controller = openRecognising(settings(1, 1));
    controller->textView()->setPlainText("第一个");
    controller->aiResponseTapped();
    controller->textView()->setPlainText("第二个");
    controller->aiResponseTapped();  // the first answer leaves the table, not the session
    ASSERT_EQ(controller->streamModels.size(), 1u);
    ASSERT_TRUE(runMainUntil([&] { return gate.waiting() >= 1; }));
    window_->close();
    ASSERT_TRUE(runMainUntil([&] { return !capture_->isRunning(); }));
    gate.open();
    settle();
    advance(std::chrono::seconds(2));
    flush();
    EXPECT_TRUE(storedAnswers().empty());
}

}  // namespace
}  // namespace pex::test

namespace pex::test {
namespace {

class SessionTables : public SessionTranscript {};

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

TEST_F(SessionTables, RowsAreMeasuredAgainWhenTheTableNarrows) {
    CountingController* controller = openRecognising(settings(1, 1));
    controller->handleFinalResult(
        "请先简单介绍一下你自己，以及你为什么想应聘这个岗位，你的优势是什么。", "");
    flush();
    TableView* table = controller->topTableView();
    const int wide = *controller->heightOfRow(*table, 0, 900);
    const int narrow = *controller->heightOfRow(*table, 0, 150);
    EXPECT_GT(narrow, wide);
    EXPECT_EQ(*controller->heightOfRow(*table, 0, 900), wide);
    EXPECT_EQ(wide, AIInterviewDetailController::transcriptRowHeight(
                        line(controller->topArr[0].sourceText, "", 1, controller->fontSize), 900));
    // The table shows its rows at those heights.
    EXPECT_EQ(table->rectOfRow(0).height(),
              *controller->heightOfRow(*table, 0, table->viewport()->width()));
}

}  // namespace
}  // namespace pex::test
