// The session detail pop-ups: rows in time order in their cells, the question-and-answer table
// of a manual session, the player of the recording, the share icon, and closing by the backdrop.
#include <QPointer>

#include <gtest/gtest.h>

#include "Page/AIInterviewPages/AiInterviewCellMac.h"
#include "Page/History/SubtitleDetail2AlertView.h"
#include "Page/History/SubtitleDetailAlertView.h"
#include "platform/avfoundation/FakeAudioPlayer.h"
#include "platform/foundation/StandardFolders.h"
#include "service/GRDBDataManager.h"
#include "support/ClickCountingView.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

GRDBDataManager& db() {
    return GRDBDataManager::shared();
}

class SubtitleDetailAlertViewTest : public IsolatedTest {
  protected:
    SubtitleDetailAlertViewTest() {
        for (const HistoryRecord& record : db().fetchAllHistory()) {
            if (record.id) (void)db().deleteHistory(*record.id);
        }
        AudioPlayer::setFactoryForTesting([this](const std::filesystem::path& file) {
            loaded_.push_back(file);
            return FakeAudioPlayer::factory(90, journal_)(file);
        });
        window_.resize(1000, 700);
        window_.show();
    }
    ~SubtitleDetailAlertViewTest() override { AudioPlayer::setFactoryForTesting(nullptr); }

    static HistoryRecord storeSession(std::int64_t id, std::int64_t answerType) {
        HistoryRecord record;
        record.id = id;
        record.timeStr = static_cast<double>(id);
        record.audioFileName = "AI面试" + std::to_string(id);
        record.antoAnswerType = answerType;
        record.historyFileName = "面试";
        EXPECT_EQ(db().insertHistory(record), id);
        return record;
    }
    static void storeLine(std::int64_t historyId, double timeStr, std::string source,
                          std::string answer = "") {
        TranslationDetailRecord line;
        line.historyId = historyId;
        line.timeStr = timeStr;
        line.sourceText = std::move(source);
        line.aiResultText = std::move(answer);
        db().insertTranslationDetail(line);
    }
    static void storeAnswer(std::int64_t historyId, double timeStr, std::string question) {
        AIResponseDetailRecord answer;
        answer.historyId = historyId;
        answer.timeStr = timeStr;
        answer.aiQuestionText = std::move(question);
        answer.aiResultText = "答";
        db().insertAIResponseDetail(answer);
    }
    template <typename View>
    View* open(const HistoryRecord& record) {
        auto* view = new View(&window_);
        view->setGeometry(window_.rect());
        view->show();
        view->history = record;
        view->configure();
        return view;
    }
    static QString cellSource(SubtitleDetailAlertView& view, TableView* table, int row) {
        auto* cell = dynamic_cast<AiInterviewCellMac*>(view.viewForRow(*table, row));
        return cell ? cell->sourceLab.text() : QStringLiteral("<none>");
    }

    ClickCountingView window_;
    std::shared_ptr<FakeAudioPlayer::Journal> journal_ =
        std::make_shared<FakeAudioPlayer::Journal>();
    std::vector<std::filesystem::path> loaded_;
};

TEST_F(SubtitleDetailAlertViewTest, ShowsTheTranscriptInTimeOrderAndLoadsTheRecording) {
    const HistoryRecord session = storeSession(1700000000, 0);
    storeLine(1700000000, 20, "第二句", "回答二");
    storeLine(1700000000, 10, "第一句");
    auto* view = open<SubtitleDetailAlertView>(session);

    ASSERT_EQ(view->dataArr.size(), 2u);
    EXPECT_EQ(view->mTableView()->numberOfRows(), 2);
    EXPECT_EQ(cellSource(*view, view->mTableView(), 0), QStringLiteral("第一句"));
    EXPECT_EQ(cellSource(*view, view->mTableView(), 1), QStringLiteral("问题：第二句"));
    ASSERT_EQ(loaded_.size(), 1u);
    EXPECT_EQ(loaded_[0], StandardFolders::documents() / "AI面试1700000000.wav");
    EXPECT_EQ(view->audioView()->durationLabel()->text(), QStringLiteral("01:30"));

    // The card is centred at 0.85 of the pop-up; the table leaves 50 right and below for the
    // player and the share icon.
    EXPECT_EQ(view->contentView()->geometry(), QRect(75, 52, 850, 595));
    EXPECT_EQ(view->mTableView()->geometry(), QRect(0, 0, 800, 545));
    EXPECT_EQ(view->audioView()->geometry(), QRect(195, 595 - 50, 460, 30));
    EXPECT_EQ(view->iconImg()->geometry(), QRect(850 - 35, 15, 25, 25));
}

TEST_F(SubtitleDetailAlertViewTest, ASessionWithoutLinesStillLoadsItsPlayer) {
    auto* view = open<SubtitleDetailAlertView>(storeSession(1700000100, 0));
    EXPECT_EQ(view->mTableView()->numberOfRows(), 0);
    EXPECT_NE(view->audioView()->player(), nullptr);

    // A pop-up without a session loads nothing.
    SubtitleDetailAlertView empty;
    empty.configure();
    EXPECT_EQ(empty.audioView()->player(), nullptr);
}

TEST_F(SubtitleDetailAlertViewTest, AManualSessionShowsItsQuestionsOnTheRightInTimeOrder) {
    const HistoryRecord session = storeSession(1700000200, 1);
    storeLine(1700000200, 5, "原文");
    storeAnswer(1700000200, 30, "后来的问题");
    storeAnswer(1700000200, 3, "先问的问题");
    auto* view = open<SubtitleDetail2AlertView>(session);

    EXPECT_EQ(view->mTableView()->numberOfRows(), 1);
    ASSERT_EQ(view->mTable2View()->numberOfRows(), 2);
    EXPECT_EQ(cellSource(*view, view->mTable2View(), 0), QStringLiteral("问题：先问的问题"));
    EXPECT_EQ(cellSource(*view, view->mTable2View(), 1), QStringLiteral("问题：后来的问题"));
    EXPECT_EQ(cellSource(*view, view->mTableView(), 0), QStringLiteral("原文"));
    // Each table has its own reusable cell.
    EXPECT_NE(view->viewForRow(*view->mTableView(), 0), view->viewForRow(*view->mTable2View(), 0));

    EXPECT_EQ(view->mTableView()->geometry(), QRect(0, 0, 357, 545));
    EXPECT_EQ(view->mTable2View()->geometry(), QRect(357, 0, 800 - 357, 545));
}

TEST_F(SubtitleDetailAlertViewTest, TheBackdropStopsTheSoundAndClosesThePopUp) {
    auto* view = open<SubtitleDetailAlertView>(storeSession(1700000300, 0));
    QPointer<SubtitleDetailAlertView> alive(view);
    int shared = 0;
    view->didSelectItem = [&](int choice) {
        EXPECT_EQ(choice, 1);
        ++shared;
    };
    click(view->audioView()->playButton());
    ASSERT_TRUE(view->audioView()->player()->isPlaying());

    // Clicks in the card (outside its controls) keep the pop-up open; the share icon hands 1.
    click(view->contentView(), QPoint(820, 580));
    click(view->iconImg());
    EXPECT_EQ(shared, 1);
    EXPECT_TRUE(view->isVisible());

    clickAt(&window_, QPoint(10, 10));
    EXPECT_EQ(journal_->stops, 1);
    EXPECT_TRUE(journal_->destroyed);
    EXPECT_FALSE(view->isVisible());
    ASSERT_TRUE(runMainUntil([&] { return alive.isNull(); }));
    EXPECT_EQ(window_.clicks, 0);
}

}  // namespace
}  // namespace pex::test
