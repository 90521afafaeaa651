// The history panel: the stored interviews, reloading, and closing.
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>

#include <gtest/gtest.h>

#include "Page/History/HistoryView.h"
#include "service/GRDBDataManager.h"
#include "support/ClickCountingView.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using Page = ClickCountingView;

class HistoryViewTest : public IsolatedTest {
  protected:
    HistoryViewTest() {
        // The history database is opened once per process: start each test without rows.
        for (const HistoryRecord& record : db().fetchAllHistory()) {
            if (record.id) db().deleteHistory(*record.id);
        }
        window_.resize(1000, 700);
    }
    static GRDBDataManager& db() { return GRDBDataManager::shared(); }
    static void addInterview(std::int64_t id, std::optional<std::string> name) {
        HistoryRecord record;
        record.id = id;
        record.timeStr = static_cast<double>(id);
        record.title = "面试";
        record.historyFileName = std::move(name);
        ASSERT_TRUE(db().insertHistory(record));
    }
    static QStringList rows(const HistoryView& panel) {
        QStringList names;
        for (int i = 0; i < panel.contentView()->count(); ++i) {
            names << panel.contentView()->item(i)->text();
        }
        return names;
    }
    // Shows the panel over the whole window, as the account page does.
    HistoryView* showPanel() {
        auto* panel = new HistoryView(&window_);
        panel->setGeometry(window_.rect());
        window_.show();
        return panel;
    }

    Page window_;
};

TEST_F(HistoryViewTest, ListsTheStoredInterviewsNewestFirst) {
    addInterview(1700000000, "一面");
    addInterview(1700000300, std::nullopt);
    addInterview(1700000200, "二面");

    HistoryView* panel = showPanel();
    EXPECT_EQ(panel->tip1Lab()->text(), QStringLiteral("面试记录"));
    EXPECT_EQ(panel->searchTextField()->placeholderText(),
              QStringLiteral("请输入搜索的面试记录名称"));
    ASSERT_TRUE(runMainUntil([&] { return panel->records().size() == 3; }));
    EXPECT_EQ(rows(*panel),
              (QStringList{QString(), QStringLiteral("二面"), QStringLiteral("一面")}));
    // The card takes 0.85 of the panel, centred.
    EXPECT_EQ(panel->bgView()->geometry(), QRect(75, 52, 850, 595));
}

TEST_F(HistoryViewTest, ReloadReadsTheDatabaseAgain) {
    HistoryView* panel = showPanel();
    ASSERT_TRUE(runMainUntil([&] { return panel->contentView()->count() == 0; }));

    addInterview(1700000000, "一面");
    panel->reload();
    ASSERT_TRUE(runMainUntil([&] { return panel->contentView()->count() == 1; }));
    EXPECT_EQ(rows(*panel), QStringList{QStringLiteral("一面")});

    // A reload for a panel that is gone by the time it runs is dropped.
    panel->reload();
    delete panel;
    addInterview(1700000100, "二面");
    auto* next = showPanel();
    ASSERT_TRUE(runMainUntil([&] { return next->contentView()->count() == 2; }));
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
