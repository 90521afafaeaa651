#include "platform/appkit/Alert.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "platform/appkit/WindowLevel.h"

namespace pex {
namespace {

class AlertTest : public ::testing::Test {
  protected:
    ~AlertTest() override { Alert::setModalHandlerForTesting(nullptr); }
};

TEST_F(AlertTest, MessageBoxCarriesTextsIconAndButtonsInOrder) {
    Alert alert;
    alert.messageText = QStringLiteral("余额不足");
    alert.informativeText = QStringLiteral("http://127.0.0.1/x");
    alert.addButton(QStringLiteral("确定"));
    alert.addButton(QStringLiteral("取消"));
    const auto box = alert.makeMessageBox();
    EXPECT_EQ(box->text(), QStringLiteral("余额不足"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("http://127.0.0.1/x"));
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("确定"));

    QPixmap icon(128, 128);
    icon.fill(Qt::red);
    alert.icon = icon;
    EXPECT_EQ(alert.makeMessageBox()->iconPixmap().size(), QSize(64, 64));
}

// Texts from the network are shown as text: no markup, no links, no pictures from files.
TEST_F(AlertTest, TextsAreShownAsPlainText) {
    Alert alert;
    alert.messageText = QStringLiteral("<b>x</b><img src=\"file:///etc/hostname\">");
    alert.informativeText = QStringLiteral("<a href=\"file:///etc/passwd\">点此</a>");
    const auto box = alert.makeMessageBox();
    int checked = 0;
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text() != alert.messageText && label->text() != alert.informativeText) continue;
        ++checked;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        EXPECT_FALSE(label->openExternalLinks());
    }
    EXPECT_EQ(checked, 2);
}

// A long address in a transport-failure alert stays on one line instead of breaking mid-path.
TEST_F(AlertTest, ALongAddressIsNotBrokenAcrossLines) {
    Alert alert;
    alert.messageText = QStringLiteral("请求超时，请重试");
    alert.informativeText = QStringLiteral(
        "http://127.0.0.1:18620/api/v1/user/consume/records/list/with/a/long/path?page=2&size=20");
    const auto box = alert.makeMessageBox();
    box->show();
    QApplication::processEvents();
    const QLabel* address = nullptr;
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text() == alert.informativeText) address = label;
    }
    ASSERT_NE(address, nullptr);
    const QFontMetrics metrics(address->font());
    EXPECT_GE(address->width(), metrics.horizontalAdvance(alert.informativeText));
    box->hide();
}

TEST_F(AlertTest, RunModalAnswersTheButtonChosen) {
    Alert alert;
    alert.messageText = QStringLiteral("提示");
    alert.addButton(QStringLiteral("确定"));
    alert.addButton(QStringLiteral("取消"));
    // Press the second button of the modal box once it is up.
    bool clicked = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == QStringLiteral("取消")) {
                button->click();
                clicked = true;
            }
        }
    });
    EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn + 1);
    EXPECT_TRUE(clicked);
}

TEST_F(AlertTest, WhileAFloatingWindowIsOnScreenTheAlertIsItsDialogAndStaysAboveIt) {
    QWidget plain;
    plain.show();
    QWidget floating;
    setWindowLevel(&floating, WindowLevel::floating);
    floating.show();
    struct Seen {
        QWidget* parent = nullptr;
        bool staysOnTop = false;
        bool modal = false;
    };
    const auto shownWith = [](Alert& alert) {
        Seen seen;
        QTimer::singleShot(0, [&seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->parentWidget(), box->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                    box->isModal()};
            box->buttons().front()->click();
        });
        EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn);
        return seen;
    };
    Alert alert;
    alert.messageText = QStringLiteral("余额不足");
    Seen seen = shownWith(alert);
    EXPECT_EQ(seen.parent, &floating);
    EXPECT_TRUE(seen.staysOnTop);
    EXPECT_TRUE(seen.modal);

    // Without a floating window it is a plain application-modal alert.
    floating.hide();
    seen = shownWith(alert);
    EXPECT_EQ(seen.parent, nullptr);
    EXPECT_FALSE(seen.staysOnTop);
    EXPECT_TRUE(seen.modal);
}

TEST_F(AlertTest, AnAlertWhoseWindowClosesMeanwhileAnswersNoButton) {
    auto* floating = new QWidget;
    setWindowLevel(floating, WindowLevel::floating);
    floating->show();
    QTimer::singleShot(0, floating, [floating] { delete floating; });
    // An alert that outlives its window would wait for a click for ever: after a few seconds
    // the first button is pressed for it, which is not the answer this test expects.
    bool outlived = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&outlived] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->buttons().isEmpty()) return;
        outlived = true;
        box->buttons().first()->click();
    });
    guard.start(5000);
    Alert alert;
    alert.addButton(QStringLiteral("创建"));
    EXPECT_EQ(alert.runModal(), Alert::closedReturn);
    EXPECT_FALSE(outlived) << "the alert stayed after its window closed";
}

TEST_F(AlertTest, TheAccessoryViewShowsBetweenTextsAndButtonsAndIsHandedBack) {
    Alert alert;
    alert.messageText = QStringLiteral("一面");
    alert.informativeText = QStringLiteral("请输入新的文本");
    alert.addButton(QStringLiteral("确定"));
    alert.addButton(QStringLiteral("取消"));
    QLineEdit field;
    field.resize(200, 24);
    alert.accessoryView = &field;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(field.parentWidget(), box);
        EXPECT_TRUE(field.isVisible());
        EXPECT_GE(field.width(), 200);
        // Under the informative text, above the buttons.
        const int fieldTop = field.mapTo(box, QPoint(0, 0)).y();
        QAbstractButton* sure = box->buttons().first();
        EXPECT_LT(fieldTop + field.height(), sure->mapTo(box, QPoint(0, 0)).y());
        field.setText(QStringLiteral("终面"));
        sure->click();
    });
    EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn);
    EXPECT_EQ(field.parentWidget(), nullptr) << "the caller keeps its view";
    EXPECT_EQ(field.text(), QStringLiteral("终面"));
}

TEST_F(AlertTest, TestHandlerReplacesTheModalLoop) {
    QString seen;
    Alert::setModalHandlerForTesting([&](const Alert& shown) {
        seen = shown.messageText;
        return Alert::firstButtonReturn;
    });
    Alert alert;
    alert.messageText = QStringLiteral("网络错误");
    EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn);
    EXPECT_EQ(seen, QStringLiteral("网络错误"));
    EXPECT_EQ(alert.makeMessageBox()->buttons().size(), 1);  // "OK" when none was added
}

}  // namespace
}  // namespace pex
