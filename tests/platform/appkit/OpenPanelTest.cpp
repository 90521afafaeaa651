// The open panel on a real file dialog (offscreen): it opens without blocking, answers OK with
// the chosen file or cancel, once, and offers only the allowed file types.
#include "platform/appkit/OpenPanel.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFileDialog>
#include <fstream>

#include "support/TestSupport.h"

namespace pex {
namespace {

QFileDialog* openDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

struct Answer {
    int calls = 0;
    OpenPanel::Response response = OpenPanel::Response::cancel;
    std::optional<std::filesystem::path> file;
};

OpenPanel resumePanel() {
    OpenPanel panel;
    panel.title = QStringLiteral("选择简历文件");
    panel.allowedFileTypes = {QStringLiteral("pdf"), QStringLiteral("docx")};
    return panel;
}

TEST(OpenPanel, AnswersWithTheChosenFileOrCancel) {
    test::TempDir folder;
    const auto file = folder.path() / "简历.pdf";
    std::ofstream(file) << "cv";

    Answer answer;
    resumePanel().begin([&](OpenPanel::Response response, std::optional<std::filesystem::path> f) {
        ++answer.calls;
        answer.response = response;
        answer.file = f;
    });
    QFileDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(answer.calls, 0);  // begin did not wait for the answer
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("选择简历文件"));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_TRUE(dialog->nameFilters().join(' ').contains(QStringLiteral("*.pdf *.docx")));
    dialog->selectFile(QString::fromStdString(file.string()));
    static_cast<QDialog*>(dialog)->accept();  // as the "Open" button does
    EXPECT_EQ(answer.calls, 1);
    EXPECT_EQ(answer.response, OpenPanel::Response::ok);
    ASSERT_TRUE(answer.file);
    EXPECT_EQ(std::filesystem::canonical(*answer.file), std::filesystem::canonical(file));

    Answer cancelled;
    resumePanel().begin([&](OpenPanel::Response response, std::optional<std::filesystem::path> f) {
        ++cancelled.calls;
        cancelled.response = response;
        cancelled.file = f;
    });
    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
    EXPECT_EQ(cancelled.calls, 1);
    EXPECT_EQ(cancelled.response, OpenPanel::Response::cancel);
    EXPECT_FALSE(cancelled.file);
}

TEST(OpenPanel, ATestingHandlerTakesThePanelInstead) {
    std::vector<QString> titles;
    OpenPanel::setHandlerForTesting([&](const OpenPanel& panel, OpenPanel::Completion done) {
        titles.push_back(panel.title);
        done(OpenPanel::Response::cancel, std::nullopt);
    });
    int calls = 0;
    resumePanel().begin(
        [&](OpenPanel::Response, std::optional<std::filesystem::path>) { ++calls; });
    OpenPanel::setHandlerForTesting(nullptr);
    EXPECT_EQ(titles, std::vector<QString>{QStringLiteral("选择简历文件")});
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(openDialog(), nullptr);
}

}  // namespace
}  // namespace pex
