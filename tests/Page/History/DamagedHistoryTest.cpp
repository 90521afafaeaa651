// A history database that is damaged when the application starts, as the running program
// meets it: the shared database is opened over a damaged file. A program of its own, so that
// this is the first time the process opens the shared database.
#include <QLabel>
#include <fstream>

#include <gtest/gtest.h>

#include "Main/StartupNotices.h"
#include "Page/History/HistoryView.h"
#include "platform/foundation/StandardFolders.h"
#include "service/GRDBDataManager.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

class DamagedHistoryTest : public IsolatedTest {};

TEST_F(DamagedHistoryTest, TheUserIsToldTheFileIsKeptAndNewSessionsAreStored) {
    const auto file = StandardFolders::documents() / "GRDB" / "history.sqlite";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "SQLite format 3 " << std::string(2000, '\x7f');

    GRDBDataManager& history = GRDBDataManager::shared();
    ASSERT_NE(history.dbQueue(), nullptr);
    ASSERT_TRUE(history.openingProblem() && history.openingProblem()->keptAs);
    const QString kept =
        QString::fromStdString(history.openingProblem()->keptAs->filename().string());

    // Told once at start-up, over the first window...
    const std::vector<StartupNotice> notices = StartupNotices::current();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].title, QStringLiteral("面试记录文件已损坏"));
    EXPECT_TRUE(notices[0].text.contains(kept)) << notices[0].text.toStdString();

    // ... and the history panel says what happened for as long as the run lasts.
    HistoryRecord session;
    session.id = 1700000000;
    session.timeStr = 1700000000;
    session.historyFileName = "新的一面";
    ASSERT_EQ(history.insertHistory(session), 1700000000);
    QWidget window;
    window.resize(1000, 700);
    auto* panel = new HistoryView(&window);
    panel->setGeometry(window.rect());
    window.show();
    ASSERT_TRUE(runMainUntil([&] { return !panel->isLoadingList(); }));
    ASSERT_EQ(panel->records().size(), 1u);
    EXPECT_EQ(panel->records()[0].historyFileName, "新的一面");
    EXPECT_TRUE(panel->noticeLab()->isVisible());
    EXPECT_TRUE(panel->noticeLab()->text().contains(kept));
    EXPECT_GE(panel->contentView()->y(), panel->noticeLab()->geometry().bottom())
        << "the list starts below the notice";
}

}  // namespace
}  // namespace pex::test
