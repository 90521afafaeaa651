// The centred pop-up host: the overlay over the key window, its mask and fades, the
// class-level dismiss with none, one and two overlays, and clicks that never reach the page.
#include "Tools/PopView/MYCenterPopView.h"

#include <gtest/gtest.h>
#include <QMainWindow>
#include <memory>

#include "Tools/ViewHelpers.h"
#include "platform/appkit/ApplicationWindows.h"
#include "support/AnimationFrames.h"
#include "support/ClickCountingView.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using Page = test::ClickCountingView;

class MYCenterPopViewTest : public ::testing::Test {
  protected:
    MYCenterPopViewTest() : keyWindow(&window) {
        page = new Page;
        window.setCentralWidget(page);
        window.resize(400, 300);
        window.show();
    }

    void advance(Clock::Duration by) { test::advanceInFrames(clock.clock(), by); }

    static QWidget* card(QSize size) {
        auto* content = new QWidget;
        content->resize(size);
        return content;
    }

    std::vector<MYCenterPopView*> overlays() const {
        std::vector<MYCenterPopView*> found;
        for (QObject* child : page->children()) {
            if (auto* overlay = qobject_cast<MYCenterPopView*>(child)) found.push_back(overlay);
        }
        return found;
    }

    ScopedManualClock clock;
    QMainWindow window;
    ScopedKeyWindow keyWindow;
    Page* page;
};

TEST_F(MYCenterPopViewTest, ShowCoversTheKeyWindowContentAndFadesTheMaskAndCardIn) {
    QWidget* content = card(QSize(260, 260));
    QPointer<MYCenterPopView> overlay = MYCenterPopView::showInKeyWindow(content);
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->parentWidget(), page);
    EXPECT_EQ(overlay->objectName(), QStringLiteral("MYCenterPopView"));
    EXPECT_EQ(overlay->geometry(), page->rect());
    EXPECT_EQ(overlay->contentView(), content);
    EXPECT_EQ(content->parentWidget(), overlay.data());
    EXPECT_EQ(content->geometry(), QRect(70, 20, 260, 260));
    EXPECT_EQ(viewAlpha(content), 0);
    EXPECT_EQ(overlay->layerBackgroundColor(), Color::clear().withAlphaComponent(0));

    advance(std::chrono::milliseconds(120));
    EXPECT_GT(viewAlpha(content), 0.2);
    EXPECT_LT(viewAlpha(content), 0.8);

    advance(std::chrono::milliseconds(200));
    EXPECT_EQ(viewAlpha(content), 1);
    ASSERT_TRUE(overlay->layerBackgroundColor().has_value());
    EXPECT_EQ(overlay->layerBackgroundColor()->alphaComponent(), 0.2);
    EXPECT_EQ(overlay->layerBackgroundColor()->redComponent(), 0);
    // The mask dims the page: its picture is darker where the card is not.
    const QColor dimmed = test::pixelAt(page, QPoint(5, 5));
    EXPECT_LT(dimmed.lightness(), 230);
}

TEST_F(MYCenterPopViewTest, ContentLargerThanTheWindowOverhangsItEvenly) {
    QWidget* content = card(QSize(500, 361));
    MYCenterPopView* overlay = MYCenterPopView::showInKeyWindow(content);
    ASSERT_NE(overlay, nullptr);
    // (400 − 500) / 2 and (300 − 361) / 2.
    EXPECT_EQ(content->pos(), QPoint(-50, -30));
    EXPECT_EQ(content->size(), QSize(500, 361));
}

TEST_F(MYCenterPopViewTest, DismissWithNoOverlayDoesNothing) {
    auto* other = new QWidget(page);
    other->setObjectName(QStringLiteral("notAnOverlay"));
    MYCenterPopView::dismiss();
    advance(std::chrono::milliseconds(300));
    EXPECT_EQ(other->parentWidget(), page);
    EXPECT_TRUE(overlays().empty());
}

TEST_F(MYCenterPopViewTest, DismissClosesTheFrontmostOverlayOnly) {
    QPointer<MYCenterPopView> back = MYCenterPopView::showInKeyWindow(card(QSize(300, 160)));
    QPointer<QWidget> backCard = back->contentView();
    advance(std::chrono::milliseconds(300));
    QPointer<MYCenterPopView> front = MYCenterPopView::showInKeyWindow(card(QSize(260, 260)));
    QPointer<QWidget> frontCard = front->contentView();
    advance(std::chrono::milliseconds(300));
    ASSERT_EQ(overlays(), (std::vector<MYCenterPopView*>{back.data(), front.data()}));

    MYCenterPopView::dismiss();
    EXPECT_TRUE(front->isDismissing());
    EXPECT_FALSE(back->isDismissing());
    // A second dismiss during the fade-out does not reach the overlay beneath.
    MYCenterPopView::dismiss();
    EXPECT_FALSE(back->isDismissing());

    advance(std::chrono::milliseconds(120));
    EXPECT_LT(viewAlpha(frontCard), 0.8);
    advance(std::chrono::milliseconds(200));
    EXPECT_FALSE(front);
    EXPECT_FALSE(frontCard);  // released with its overlay
    ASSERT_TRUE(back);
    EXPECT_EQ(viewAlpha(backCard), 1);

    MYCenterPopView::dismiss();
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(back);
    EXPECT_TRUE(overlays().empty());
}

TEST_F(MYCenterPopViewTest, DismissLeavesOverlaysOfOtherWindowsAlone) {
    QWidget otherWindow;
    otherWindow.resize(300, 200);
    otherWindow.show();
    auto* overlay = new MYCenterPopView;
    overlay->show(card(QSize(100, 100)), &otherWindow);
    MYCenterPopView::dismiss();
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(overlay->isDismissing());
    EXPECT_EQ(overlay->parentWidget(), &otherWindow);
}

TEST_F(MYCenterPopViewTest, WithoutAKeyWindowNothingIsShownOrDismissed) {
    ApplicationWindows::setKeyWindow(nullptr);
    QApplication::setActiveWindow(nullptr);
    ASSERT_EQ(ApplicationWindows::keyWindow(), nullptr);
    QPointer<QWidget> content = card(QSize(100, 100));
    EXPECT_EQ(MYCenterPopView::showInKeyWindow(content), nullptr);
    EXPECT_FALSE(content);  // not leaked
    EXPECT_TRUE(overlays().empty());
    MYCenterPopView::dismiss();  // nothing to do, nothing breaks
    ApplicationWindows::setKeyWindow(&window);
}

// A card the page keeps between shows survives the dismiss and shows again, fully opaque.
TEST_F(MYCenterPopViewTest, KeptContentOutlivesItsOverlay) {
    std::unique_ptr<QWidget> kept(card(QSize(100, 100)));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QPointer<MYCenterPopView> overlay =
            MYCenterPopView::showInKeyWindow(kept.get(), MYCenterPopView::Content::kept);
        ASSERT_TRUE(overlay);
        advance(std::chrono::milliseconds(300));
        EXPECT_EQ(kept->parentWidget(), overlay.data());
        MYCenterPopView::dismiss();
        advance(std::chrono::milliseconds(300));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(overlay);
        ASSERT_NE(kept.get(), nullptr);
        EXPECT_EQ(kept->parentWidget(), nullptr);
        EXPECT_TRUE(kept->isHidden());
        EXPECT_DOUBLE_EQ(viewAlpha(kept.get()), 1.0);
    }
    // Without a key window a kept card is not deleted either.
    ApplicationWindows::setKeyWindow(nullptr);
    QApplication::setActiveWindow(nullptr);
    QPointer<QWidget> watched = kept.get();
    EXPECT_EQ(MYCenterPopView::showInKeyWindow(kept.get(), MYCenterPopView::Content::kept),
              nullptr);
    EXPECT_TRUE(watched);
    ApplicationWindows::setKeyWindow(&window);
}

TEST_F(MYCenterPopViewTest, ClicksOutsideTheCardNeitherCloseItNorReachThePage) {
    MYCenterPopView* overlay = MYCenterPopView::showInKeyWindow(card(QSize(100, 100)));
    advance(std::chrono::milliseconds(300));
    test::clickAt(page, QPoint(10, 10));
    advance(std::chrono::milliseconds(300));
    EXPECT_EQ(page->clicks, 0);
    EXPECT_FALSE(overlay->isDismissing());
}

}  // namespace
}  // namespace pex
