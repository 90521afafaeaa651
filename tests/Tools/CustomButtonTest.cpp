// The flat button, the setting tiles and the label on a background: clicks they keep for
// themselves, their layout, and the background's look.
#include "Tools/CustomButton.h"

#include <gtest/gtest.h>

#include <functional>

#include "Tools/ClickGestureRecognizer.h"
#include "Tools/CustomBacTextField.h"
#include "Tools/SettingSelectBtnView.h"
#include "Tools/SettingSelectColorView.h"
#include "support/ClickCountingView.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using test::click;
using test::pixelAt;

// A white page that counts the clicks reaching it.
class Page : public test::ClickCountingView {
  public:
    Page() {
        resize(300, 200);
        test::fillWhite(*this);
    }
};

TEST(CustomButtonTest, ClicksStayWithTheViewAndRunOnlyAttachedRecognisers) {
    const std::pair<const char*, std::function<QWidget*(QWidget*)>> makers[] = {
        {"CustomButton", [](QWidget* parent) { return new CustomButton(parent); }},
        {"SettingSelectBtnView", [](QWidget* parent) { return new SettingSelectBtnView(parent); }},
        {"SettingSelectColorView",
         [](QWidget* parent) { return new SettingSelectColorView(parent); }},
    };
    for (const auto& [name, make] : makers) {
        Page page;
        QWidget* view = make(&page);
        view->setGeometry(20, 20, 120, 40);
        page.show();

        // Without a recogniser a click does nothing and never reaches the page.
        click(view);
        EXPECT_EQ(page.clicks, 0) << name;

        int taps = 0;
        ClickGestureRecognizer::attach(view, [&taps](ClickGestureRecognizer&) { ++taps; });
        click(view);
        // On a subview too (the title or the icon leave the mouse to the view).
        click(view, QPoint(60, 20));
        EXPECT_EQ(taps, 2) << name;
        EXPECT_EQ(page.clicks, 0) << name;
    }
}

TEST(CustomButtonTest, TitleInsetAndArrowAtTheRightEnd) {
    Page page;
    auto* button = new CustomButton(&page);
    button->setGeometry(10, 10, 200, 40);
    button->titleLab()->setText(QStringLiteral("确定"));
    page.show();
    const QRect title = button->titleLab()->geometry();
    EXPECT_EQ(title.left(), 10);
    EXPECT_EQ(title.right() + 1, 190);
    EXPECT_EQ(title.center().y(), 19);
    EXPECT_EQ(button->iconImg()->geometry(), QRect(185, 16, 10, 7));
    EXPECT_FALSE(button->iconImg()->image().isNull());
    EXPECT_EQ(button->tagIndex, 0);
}

TEST(CustomButtonTest, SettingTilesPlaceTheirIconInTheBottomRightCorner) {
    Page page;
    auto* choice = new SettingSelectBtnView(&page);
    choice->setGeometry(10, 10, 100, 40);
    auto* colour = new SettingSelectColorView(&page);
    colour->setGeometry(10, 60, 100, 40);
    page.show();
    EXPECT_EQ(choice->iconImg()->geometry(), QRect(85, 25, 15, 15));
    EXPECT_EQ(choice->titleLab()->width(), 100);
    EXPECT_EQ(colour->iconImg()->geometry(), QRect(85, 25, 15, 15));
    EXPECT_EQ(colour->colorV()->geometry(), QRect(0, 10, 32, 20));
    EXPECT_FALSE(choice->isSelect);
    EXPECT_FALSE(colour->isSelect);
}

TEST(CustomBacTextFieldTest, BackgroundColourShowsAndGoesAndCornersRound) {
    Page page;
    auto* field = new CustomBacTextField(&page);
    field->setGeometry(20, 20, 120, 30);
    page.show();
    const Color teal = Color::rgb(0x65 / 255.0, 0xD6 / 255.0, 0xC4 / 255.0);

    field->setBackgroundColor(teal);
    EXPECT_EQ(pixelAt(field, QPoint(2, 15)), teal.toQColor());
    EXPECT_EQ(pixelAt(field, QPoint(0, 0)), teal.toQColor());  // square corners

    field->setCornerRadius(8);
    EXPECT_EQ(field->cornerRadius(), 8);
    EXPECT_EQ(pixelAt(field, QPoint(0, 0)), QColor(Qt::white));  // rounded off
    EXPECT_EQ(pixelAt(field, QPoint(8, 15)), teal.toQColor());

    field->setBackgroundColor(std::nullopt);
    EXPECT_FALSE(field->backgroundColor().has_value());
    EXPECT_EQ(pixelAt(field, QPoint(8, 15)), QColor(Qt::white));
}

TEST(CustomBacTextFieldTest, OneLineCutAtTheTail) {
    Page page;
    auto* field = new CustomBacTextField(&page);
    field->setGeometry(10, 10, 90, 30);
    page.show();
    field->textField()->setText(QStringLiteral("短"));
    QCoreApplication::processEvents();
    EXPECT_EQ(field->textField()->displayedText(), QStringLiteral("短"));
    // Centred in the view.
    EXPECT_NEAR(field->textField()->geometry().center().x(), 45, 1);

    field->textField()->setText(QStringLiteral("这是一段远远超过这个视图宽度的文字内容\n第二行"));
    QCoreApplication::processEvents();
    const QString shown = field->textField()->displayedText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("第二行")));
    EXPECT_LE(field->textField()->width(), 90);
}

}  // namespace
}  // namespace pex
