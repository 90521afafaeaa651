// The history panel: the stored interviews newest first, search, rename, delete with its tip,
// the detail pop-ups the rows open, reloading and closing.
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <fstream>

#include <gtest/gtest.h>

#include "Page/History/HistoryView.h"
#include "Page/History/SubtitleDetail2AlertView.h"
#include "Page/History/SubtitleExportCell.h"
#include "Tools/TipAlertView.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/SystemFont.h"
#include "platform/appkit/TableView.h"
#include "platform/avfoundation/FakeAudioPlayer.h"
#include "platform/foundation/StandardFolders.h"
#include "purchase/ConsoleCapture.h"
#include "service/GRDBDataManager.h"
#include "support/ClickCountingView.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using namespace std::chrono_literals;
using Page = ClickCountingView;

GRDBDataManager& db() {
    return GRDBDataManager::shared();
}

// Makes every change of one kind to the sessions table fail while it lives.
class RefusedChange {
  public:
    explicit RefusedChange(const std::string& change) {
        EXPECT_TRUE(db().dbQueue()->write([&](Database& d) {
            return d.execute("CREATE TRIGGER refuse BEFORE " + change +
                             " ON historyRecord BEGIN SELECT RAISE(ABORT, 'refused'); END");
        }));
    }
    ~RefusedChange() {
        EXPECT_TRUE(
            db().dbQueue()->write([](Database& d) { return d.execute("DROP TRIGGER refuse"); }));
    }
};

class HistoryViewTest : public IsolatedTest {
  protected:
    HistoryViewTest() {
        // The history database is opened once per process: start each test without rows.
        for (const HistoryRecord& record : db().fetchAllHistory()) {
            if (record.id) (void)db().deleteHistory(*record.id);
        }
        AudioPlayer::setFactoryForTesting(FakeAudioPlayer::factory(60, journal_));
        window_.resize(1000, 700);
    }
    ~HistoryViewTest() override {
        Alert::setModalHandlerForTesting(nullptr);
        AudioPlayer::setFactoryForTesting(nullptr);
    }
    static void addInterview(std::int64_t id, std::optional<std::string> name,
                             std::int64_t answerType = 0, std::string audio = "") {
        HistoryRecord record;
        record.id = id;
        record.timeStr = static_cast<double>(id);
        record.title = "面试";
        record.antoAnswerType = answerType;
        record.audioFileName = audio.empty() ? "AI面试" + std::to_string(id) : audio;
        record.historyFileName = std::move(name);
        ASSERT_EQ(db().insertHistory(record), id);
    }
    static std::filesystem::path recording(const std::string& name) {
        const auto file = StandardFolders::documents() / (name + ".wav");
        std::ofstream(file) << "RIFF";
        return file;
    }
    static QStringList rows(const HistoryView& panel) {
        QStringList names;
        for (const HistoryRecord& record : panel.records()) {
            names << QString::fromStdString(record.historyFileName.value_or(""));
        }
        return names;
    }
    // Shows the panel over the whole window, as the account page does.
    HistoryView* showPanel() {
        auto* panel = new HistoryView(&window_);
        panel->setGeometry(window_.rect());
        panel->show();
        window_.show();
        settle(panel);
        return panel;
    }
    static void settle(HistoryView* panel) {
        ASSERT_TRUE(runMainUntil([&] { return !panel->isLoadingList(); }));
    }
    static void type(HistoryView* panel, const QString& text) {
        panel->searchTextField()->setText(text);
        settle(panel);
    }
    // Clicks the button of `action` in the list's row `row`.
    static void clickRowButton(HistoryView* panel, int row, int action) {
        TableView* table = panel->contentView()->mTableView();
        QRect rowRect;
        ASSERT_TRUE(runMainUntil([&] {
            rowRect = table->rectOfRow(row);
            return rowRect.height() > 1;
        }));
        const QRect button = SubtitleExportCell().buttonRect(action, rowRect.size());
        click(table->viewport(), rowRect.topLeft() + button.center());
    }

    std::shared_ptr<FakeAudioPlayer::Journal> journal_ =
        std::make_shared<FakeAudioPlayer::Journal>();
    Page window_;
};

TEST_F(HistoryViewTest, ListsTheStoredInterviewsNewestFirst) {
    HistoryView* empty = showPanel();
    EXPECT_TRUE(empty->records().empty());
    EXPECT_EQ(empty->contentView()->codeTitleView()->text(), QStringLiteral("编号"));
    EXPECT_EQ(empty->contentView()->nameTitleView()->text(), QStringLiteral("名称"));
    EXPECT_EQ(empty->contentView()->optionTitleView()->text(), QStringLiteral("操作"));
    type(empty, QStringLiteral("面"));
    EXPECT_TRUE(empty->records().empty());
    delete empty;

    addInterview(1700000000, "一面");
    addInterview(1700000300, std::nullopt);
    addInterview(1700000200, "二面");
    HistoryView* panel = showPanel();
    EXPECT_EQ(panel->tip1Lab()->text(), QStringLiteral("面试记录"));
    EXPECT_EQ(panel->searchTextField()->placeholderText(),
              QStringLiteral("请输入搜索的面试记录名称"));
    EXPECT_EQ(rows(*panel),
              (QStringList{QString(), QStringLiteral("二面"), QStringLiteral("一面")}));
    EXPECT_EQ(panel->contentView()->mTableView()->numberOfRows(), 3);
    // The card takes 0.85 of the panel, centred.
    EXPECT_EQ(panel->bgView()->geometry(), QRect(75, 52, 850, 595));
}

TEST_F(HistoryViewTest, ReloadReadsTheDatabaseAgain) {
    HistoryView* panel = showPanel();
    addInterview(1700000000, "一面");
    panel->reload();
    settle(panel);
    EXPECT_EQ(rows(*panel), QStringList{QStringLiteral("一面")});

    // A reload for a panel that is gone by the time it runs is dropped.
    panel->reload();
    delete panel;
    addInterview(1700000100, "二面");
    HistoryView* next = showPanel();
    EXPECT_EQ(next->records().size(), 2u);
}

TEST_F(HistoryViewTest, SearchesEachKeystrokeLiterallyAndShowsAllWhenEmpty) {
    addInterview(1700000000, "一面 Alpha");
    addInterview(1700000100, "二面");
    addInterview(1700000200, "100%通过");
    addInterview(1700000300, "a_b");
    addInterview(1700000400, "axb");
    HistoryView* panel = showPanel();

    const std::pair<QString, QStringList> searches[] = {
        {QStringLiteral("面"), {QStringLiteral("二面"), QStringLiteral("一面 Alpha")}},
        {QStringLiteral("ALPHA"), {QStringLiteral("一面 Alpha")}},
        {QStringLiteral("%"), {QStringLiteral("100%通过")}},
        {QStringLiteral("_"), {QStringLiteral("a_b")}},
        {QStringLiteral("a_"), {QStringLiteral("a_b")}},
        {QStringLiteral("无此名"), {}},
        {QString(),
         {QStringLiteral("axb"), QStringLiteral("a_b"), QStringLiteral("100%通过"),
          QStringLiteral("二面"), QStringLiteral("一面 Alpha")}},
    };
    for (const auto& [text, expected] : searches) {
        type(panel, text);
        EXPECT_EQ(rows(*panel), expected) << text.toStdString();
    }

    // Typed faster than the reads finish: only the last text's rows are shown.
    panel->searchTextField()->setText(QStringLiteral("a"));
    panel->searchTextField()->setText(QStringLiteral("ax"));
    panel->searchTextField()->setText(QStringLiteral("二"));
    settle(panel);
    EXPECT_EQ(rows(*panel), QStringList{QStringLiteral("二面")});
}

TEST_F(HistoryViewTest, RowsReadBeforeADeleteDoNotBringTheDeletedSessionBack) {
    addInterview(1700000000, "一面");
    addInterview(1700000100, "二面");
    HistoryView* panel = showPanel();
    // The search's rows are read while both sessions exist; they arrive after the delete.
    panel->searchTextField()->setText(QStringLiteral("面"));
    panel->listQueue().sync([] {});
    ASSERT_TRUE(panel->isLoadingList());
    panel->deleteRecord(1700000100);
    EXPECT_EQ(rows(*panel), QStringList{QStringLiteral("一面")});
    settle(panel);
    EXPECT_EQ(rows(*panel), QStringList{QStringLiteral("一面")});
}

TEST_F(HistoryViewTest, AVeryLongNameIsCutToItsRowAndShownWholeOnHover) {
    QString longName = QStringLiteral("<b>粗</b>");
    while (longName.size() < 5000) longName += QStringLiteral("很长的面试名称");
    addInterview(1700000100, "短名");
    addInterview(1700000000, longName.toStdString());
    HistoryView* panel = showPanel();
    TableView* table = panel->contentView()->mTableView();
    QRect shortRow, longRow;
    ASSERT_TRUE(runMainUntil([&] {
        shortRow = table->rectOfRow(0);
        longRow = table->rectOfRow(1);
        return shortRow.height() > 1 && longRow.height() > 1;
    }));
    // At most two lines of 14-point text: the row keeps its buttons in view.
    EXPECT_LE(longRow.height(), shortRow.height() + QFontMetrics(systemFont(14)).height() + 1);
    EXPECT_LE(longRow.bottom(), table->viewport()->height());
    clickRowButton(panel, 1, SubtitleExportCell::deleteAction);
    EXPECT_EQ(rows(*panel), QStringList{QStringLiteral("短名")});

    addInterview(1700000000, longName.toStdString());
    panel->reload();
    settle(panel);
    ASSERT_TRUE(runMainUntil([&] { return table->rectOfRow(1).height() > 1; }));
    auto tipAt = [&](int row) {
        QToolTip::hideText();
        const QPoint onName = table->rectOfRow(row).topLeft() + QPoint(200, 20);
        QHelpEvent hover(QEvent::ToolTip, onName, table->viewport()->mapToGlobal(onName));
        QApplication::sendEvent(table->viewport(), &hover);
        return QToolTip::isVisible()
                   ? QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText()
                   : QString();
    };
    EXPECT_EQ(tipAt(0), QString()) << "a name shown whole needs no tip";
    EXPECT_EQ(tipAt(1), longName) << "the whole name, markup as typed";
    QToolTip::hideText();
}

TEST_F(HistoryViewTest, RenameStoresTheTypedNameAndShowsEverySession) {
    addInterview(1700000000, "一面");
    addInterview(1700000100, "二面");
    HistoryView* panel = showPanel();
    for (const QString& typed : {QStringLiteral("终面"), QString()}) {
        type(panel, QString());
        type(panel, QStringLiteral("二"));
        ASSERT_EQ(rows(*panel), QStringList{QStringLiteral("二面")});
        const QString before = rows(*panel).front();
        Alert::setModalHandlerForTesting([&](const Alert& alert) {
            EXPECT_EQ(alert.messageText, before);
            EXPECT_EQ(alert.informativeText, QStringLiteral("请输入新的文本"));
            EXPECT_EQ(alert.buttons(),
                      (QStringList{QStringLiteral("确定"), QStringLiteral("取消")}));
            auto* field = qobject_cast<QLineEdit*>(alert.accessoryView.data());
            EXPECT_NE(field, nullptr);
            if (!field) return Alert::firstButtonReturn + 1;
            EXPECT_EQ(field->text(), QString());
            EXPECT_EQ(field->size(), QSize(200, 24));
            field->setText(typed);
            return Alert::firstButtonReturn;
        });
        clickRowButton(panel, 0, SubtitleExportCell::renameAction);
        settle(panel);
        const auto stored = db().fetchAllHistory();
        ASSERT_EQ(stored.size(), 2u);
        EXPECT_EQ(stored[0].historyFileName, typed.toStdString());
        EXPECT_EQ(stored[0].title, "面试") << "only the name changes";
        // The whole list comes back, whatever the search field holds.
        EXPECT_EQ(rows(*panel), (QStringList{typed, QStringLiteral("一面")}));
        // Renamed back for the next round.
        ASSERT_TRUE(db().renameHistory(1700000100, "二面"));
    }
}

TEST_F(HistoryViewTest, CancellingTheRenameChangesNothing) {
    ConsoleCapture console;
    addInterview(1700000000, "一面");
    addInterview(1700000100, "二面");
    HistoryView* panel = showPanel();
    type(panel, QStringLiteral("一"));
    Alert::setModalHandlerForTesting([](const Alert& alert) {
        if (auto* field = qobject_cast<QLineEdit*>(alert.accessoryView.data())) {
            field->setText(QStringLiteral("不该保存"));
        }
        return Alert::firstButtonReturn + 1;
    });
    panel->handleRowAction(0, SubtitleExportCell::renameAction, 1700000000);
    EXPECT_EQ(console.linesStartingWith("用户取消了输入"), 1);
    EXPECT_FALSE(panel->isLoadingList()) << "no reload";
    EXPECT_EQ(rows(*panel), QStringList{QStringLiteral("一面")});
    EXPECT_EQ(db().fetchAllHistory()[1].historyFileName, "一面");
}

TEST_F(HistoryViewTest, AFailedRenameOrDeleteIsShownToTheUser) {
    addInterview(1700000000, "一面");
    const auto file = recording("AI面试1700000000");
    HistoryView* panel = showPanel();
    std::vector<QString> alerts;
    Alert::setModalHandlerForTesting([&](const Alert& alert) {
        alerts.push_back(alert.messageText);
        if (auto* field = qobject_cast<QLineEdit*>(alert.accessoryView.data())) {
            field->setText(QStringLiteral("新名"));
        }
        return Alert::firstButtonReturn;
    });
    {
        RefusedChange refused("UPDATE");
        panel->showRenamePrompt(panel->records().front());
    }
    settle(panel);
    {
        ConsoleCapture console;
        RefusedChange refused("DELETE");
        panel->deleteRecord(1700000000);
        EXPECT_EQ(console.linesStartingWith("删除失败："), 1);
    }
    ASSERT_EQ(alerts.size(), 3u);
    EXPECT_EQ(alerts[1], QStringLiteral("重命名失败"));
    EXPECT_EQ(alerts[2], QStringLiteral("删除失败"));
    EXPECT_EQ(rows(*panel), QStringList{QStringLiteral("一面")});
    EXPECT_EQ(db().fetchAllHistory().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(file)) << "a failed delete keeps the recording";
}

TEST_F(HistoryViewTest, DeleteRemovesTheSessionItsRowsAndRecordingThenTips) {
    ScopedManualClock clock;
    addInterview(1700000000, "一面");
    addInterview(1700000100, "二面", 1);
    addInterview(1700000200, "三面", 0, "共用录音");
    addInterview(1700000300, "四面", 0, "共用录音");
    TranslationDetailRecord line;
    line.historyId = 1700000100;
    db().insertTranslationDetail(line);
    AIResponseDetailRecord answer;
    answer.historyId = 1700000100;
    db().insertAIResponseDetail(answer);
    const auto deleted = recording("AI面试1700000100");
    const auto kept = recording("AI面试1700000000");
    const auto shared = recording("共用录音");
    HistoryView* panel = showPanel();
    type(panel, QStringLiteral("面"));

    clickRowButton(panel, 2, SubtitleExportCell::deleteAction);
    EXPECT_EQ(rows(*panel), (QStringList{QStringLiteral("四面"), QStringLiteral("三面"),
                                         QStringLiteral("一面")}));
    EXPECT_TRUE(db().fetchTranslationDetails(1700000100).empty());
    EXPECT_TRUE(db().fetchAIResponseDetails(1700000100).empty());
    EXPECT_FALSE(std::filesystem::exists(deleted));
    EXPECT_TRUE(std::filesystem::exists(kept));

    // "删除成功" comes a quarter of a second later, over the panel.
    CustomSuccessTipView* tip = TipAlertView::shared().suceessView();
    QCoreApplication::processEvents();
    EXPECT_NE(tip->parentWidget(), &window_);
    clock.clock().advance(249ms);
    QCoreApplication::processEvents();
    EXPECT_NE(tip->parentWidget(), &window_);
    clock.clock().advance(1ms);
    ASSERT_TRUE(runMainUntil([&] { return tip->parentWidget() == &window_; }));
    EXPECT_EQ(tip->tipLab()->text(), QStringLiteral("删除成功"));
    EXPECT_EQ(tip->sureBtn()->titleLab()->text(), QStringLiteral("确定"));
    TipAlertView::shared().sureTip1();

    // A recording another session still names stays.
    panel->deleteRecord(1700000200);
    EXPECT_TRUE(std::filesystem::exists(shared));
    panel->deleteRecord(1700000300);
    EXPECT_FALSE(std::filesystem::exists(shared));
    // A panel closed before the tip is due shows none.
    panel->deleteRecord(1700000000);
    panel->didTap1();
    clock.clock().advance(300ms);
    QCoreApplication::processEvents();
    EXPECT_NE(tip->parentWidget(), &window_);
    delete panel;
}

TEST_F(HistoryViewTest, ViewAndExportOpenTheDetailPopUpOfTheSessionsAnswerMode) {
    addInterview(1700000000, "自动");
    addInterview(1700000100, "手动", 2);
    HistoryView* panel = showPanel();
    const struct {
        int row;
        int action;
        bool manual;
    } cases[] = {{0, SubtitleExportCell::lookAction, true},
                 {0, SubtitleExportCell::exportAction, true},
                 {1, SubtitleExportCell::lookAction, false},
                 {1, SubtitleExportCell::exportAction, false}};
    for (const auto& c : cases) {
        clickRowButton(panel, c.row, c.action);
        const auto opened =
            window_.findChildren<SubtitleDetailAlertView*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(opened.size(), 1);
        SubtitleDetailAlertView* detail = opened.front();
        EXPECT_EQ(qobject_cast<SubtitleDetail2AlertView*>(detail) != nullptr, c.manual);
        EXPECT_EQ(detail->parentWidget(), &window_);
        EXPECT_EQ(detail->geometry(), window_.rect());
        ASSERT_TRUE(detail->history.has_value());
        EXPECT_EQ(detail->history->id, panel->records()[c.row].id);
        EXPECT_NE(detail->audioView()->player(), nullptr);
        detail->didTap1();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(window_.clicks, 0);
}

TEST_F(HistoryViewTest, TheCardsDecorationStaysAboveTheList) {
    HistoryView* panel = showPanel();  // no sessions: nothing of the list's own under its rows
    const QImage picture = window_.grab().toImage();
    const auto tinted = [&](const QRect& area) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = picture.pixelColor(x, y);
                if (std::abs(c.red() - 0xF9) > 2 || std::abs(c.green() - 0xF9) > 2 ||
                    std::abs(c.blue() - 0xF9) > 2) {
                    ++count;
                }
            }
        }
        return count;
    };
    // Where the rows go, the card shows its own opaque colour and nothing else.
    TableView* table = panel->contentView()->mTableView();
    const QRect rows(table->mapTo(&window_, QPoint(0, 0)), table->size());
    ASSERT_GT(rows.height(), 300);
    EXPECT_EQ(tinted(rows), 0) << "the decoration lies behind the rows";
    // The decoration is the band above the list, behind the title and the search field: a
    // teal wash (the field, the title and the card are grey or white).
    const QRect card(panel->bgView()->mapTo(&window_, QPoint(0, 0)), panel->bgView()->size());
    const int listTop = panel->contentView()->mapTo(&window_, QPoint(0, 0)).y();
    int teal = 0;
    for (int y = card.top(); y < listTop; ++y) {
        for (int x = card.left(); x <= card.right(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (c.green() > c.red() + 3 && c.blue() > c.red() + 3) ++teal;
        }
    }
    EXPECT_GT(teal, 1000);
}

TEST_F(HistoryViewTest, TheBackdropAndTheCloseIconCloseThePanel) {
    HistoryView* panel = showPanel();
    QPointer<HistoryView> alive(panel);

    click(panel->bgView(), QPoint(100, panel->bgView()->height() - 5));
    EXPECT_EQ(panel->parent(), &window_) << "a click on the card keeps the panel";

    clickAt(&window_, QPoint(5, 5));
    EXPECT_EQ(panel->parent(), nullptr);
    EXPECT_FALSE(panel->isVisible());

    // The same panel can be shown again and closed with its icon.
    panel->setParent(&window_);
    panel->show();
    click(panel->closeImg());
    EXPECT_EQ(panel->parent(), nullptr);
    EXPECT_TRUE(alive);
    EXPECT_EQ(window_.clicks, 0) << "no click reaches the page beneath";
    delete panel;
}

}  // namespace
}  // namespace pex::test
