// The real save dialogue: it opens without blocking, proposes the name, and answers once with
// the chosen file or a cancel.
#include <QApplication>
#include <QFileDialog>

#include <gtest/gtest.h>

#include "platform/appkit/SavePanel.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

QFileDialog* openDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

TEST(SavePanelTest, ProposesTheNameAndAnswersOnce) {
    TempDir dir;
    for (const bool accept : {true, false}) {
        std::unique_ptr<SavePanel> panel = SavePanel::make();
        panel->nameFieldStringValue = QStringLiteral("一面问题答案.txt");
        panel->allowedFileTypes = {QStringLiteral("txt")};
        int answers = 0;
        SavePanel::Response response = SavePanel::Response::cancel;
        std::optional<std::filesystem::path> chosen;
        panel->begin([&](SavePanel::Response r, std::optional<std::filesystem::path> file) {
            ++answers;
            response = r;
            chosen = std::move(file);
        });
        panel.reset();  // the dialogue lives on by itself
        QFileDialog* dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(answers, 0) << "begun without blocking";
        EXPECT_TRUE(dialog->nameFilters().contains(QStringLiteral("*.txt")));
        dialog->setDirectory(QString::fromStdString(dir.path().string()));
        dialog->selectFile(QStringLiteral("一面问题答案.txt"));
        if (accept) {
            QMetaObject::invokeMethod(dialog, "accept");
        } else {
            dialog->reject();
        }
        ASSERT_TRUE(runMainUntil([&] { return answers == 1 && !openDialog(); }));
        EXPECT_EQ(response, accept ? SavePanel::Response::ok : SavePanel::Response::cancel);
        if (accept) {
            ASSERT_TRUE(chosen.has_value());
            EXPECT_EQ(chosen->filename(), std::filesystem::path("一面问题答案.txt"));
        } else {
            EXPECT_FALSE(chosen.has_value());
        }
    }
}

}  // namespace
}  // namespace pex::test
