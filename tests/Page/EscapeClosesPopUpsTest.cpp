// Esc closes the pop-up in front, whichever field of the page beneath has the focus: every
// pop-up that a click on its backdrop or its close mark closes, one per press.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "Page/About/VersionForceAlertView.h"
#include "Page/History/HistoryView.h"
#include "Page/History/SubtitleDetail2AlertView.h"
#include "Page/History/SubtitleDetailAlertShareView.h"
#include "Page/History/SubtitleDetailAlertView.h"
#include "Page/View/ContactView.h"
#include "Page/View/PayQRCodeView.h"
#include "PageFixture.h"
#include "Tools/HomeTipNoView.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "platform/appkit/ApplicationWindows.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

// A page with a focused field, as the account page's window has under its pop-ups.
class EscapeClosesPopUpsTest : public PageFixture {
  protected:
    EscapeClosesPopUpsTest() : field_(new QLineEdit(&window_)) {
        window_.resize(1000, 700);
        field_->setGeometry(10, 10, 200, 24);
        window_.show();
        field_->setFocus();
    }
    ~EscapeClosesPopUpsTest() override {
        settleReplies();
        // What closing only took off the window.
        for (const QPointer<QWidget>& view : opened_) {
            if (view && !view->parent()) delete view.data();
        }
    }

    // Esc as the window system delivers it: to the focused widget.
    void pressEscape() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(field_, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(field_, &release);
    }
    template <typename View>
    View* overWindow(View* view) {
        view->setGeometry(window_.rect());
        view->show();
        opened_.emplace_back(view);
        return view;
    }
    static bool removed(const QPointer<QWidget>& view) {
        return !view || (!view->parent() && !view->isVisible());
    }
    // A centred pop-up as the purchase page and the contact links show it.
    MYCenterPopView* centred(QWidget* card) {
        auto* overlay = new MYCenterPopView;
        overlay->show(card, &window_);
        return overlay;
    }

    QWidget window_;
    QLineEdit* field_;
    std::vector<QPointer<QWidget>> opened_;
};

TEST_F(EscapeClosesPopUpsTest, EscClosesEachPopUpThatItsBackdropOrCloseMarkCloses) {
    ScopedKeyWindow key(&window_);
    const struct {
        const char* name;
        std::function<std::function<bool()>()> open;  // answers whether it has closed
    } cases[] = {
        {"history list",
         [&] {
             QPointer<QWidget> panel = overWindow(new HistoryView(&window_));
             return [panel] { return removed(panel); };
         }},
        {"detail pop-up",
         [&] {
             QPointer<QWidget> detail = overWindow(new SubtitleDetailAlertView(&window_));
             return [detail] { return removed(detail); };
         }},
        {"detail pop-up of manual answers",
         [&] {
             QPointer<QWidget> detail = overWindow(new SubtitleDetail2AlertView(&window_));
             return [detail] { return removed(detail); };
         }},
        {"export chooser",
         [&] {
             QPointer<QWidget> chooser = overWindow(new SubtitleDetailAlertShareView(&window_));
             return [chooser] { return removed(chooser); };
         }},
        {"QR payment",
         [&] {
             PayQRCodeView* card = PayQRCodeView::makeCard();
             QPointer<MYCenterPopView> overlay = centred(card);
             card->closeView = [overlay] {
                 if (overlay) overlay->dismissAnimated();
             };
             return [overlay] { return !overlay || overlay->isDismissing(); };
         }},
        {"contact card",
         [&] {
             QPointer<MYCenterPopView> overlay = centred(ContactView::makeCard());
             return [overlay] { return !overlay || overlay->isDismissing(); };
         }},
        {"tip with a backdrop",
         [&] {
             QPointer<QWidget> tip = overWindow(new HomeTipNoView(&window_));
             return [tip] { return removed(tip); };
         }},
        {"update alert that may be put off",
         [&] {
             auto* alert = overWindow(new VersionForceAlertView(&window_));
             CheckVersionModel model;
             model.version = "2.1.0";
             model.min_version = "2.0.0";
             alert->model = model;
             alert->configure();
             QPointer<QWidget> shown(alert);
             return [shown] { return removed(shown); };
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::function<bool()> closed = c.open();
        ASSERT_FALSE(closed());
        pressEscape();
        EXPECT_TRUE(closed());
        // Let a closing overlay fade out and what was closed go, before the next case.
        ASSERT_TRUE(runMainUntil([&] {
            return !window_.findChild<MYCenterPopView*>(QString(), Qt::FindDirectChildrenOnly);
        }));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(EscapeClosesPopUpsTest, EachPressClosesOnlyThePopUpInFront) {
    QPointer<QWidget> panel = overWindow(new HistoryView(&window_));
    QPointer<QWidget> detail = overWindow(new SubtitleDetailAlertView(&window_));
    QPointer<QWidget> chooser = overWindow(new SubtitleDetailAlertShareView(&window_));
    // The list comes to the front again (raised): it is now the one Esc closes first.
    panel->raise();

    pressEscape();
    EXPECT_TRUE(removed(panel));
    EXPECT_FALSE(removed(detail));
    EXPECT_FALSE(removed(chooser));
    pressEscape();
    EXPECT_TRUE(removed(chooser));
    EXPECT_FALSE(removed(detail));
    pressEscape();
    EXPECT_TRUE(removed(detail));
}

TEST_F(EscapeClosesPopUpsTest, APopUpWithoutAWayOutAndAHiddenOneKeepTheirPlace) {
    // An update that must be installed has no close mark and a backdrop that does nothing.
    auto* forced = overWindow(new VersionForceAlertView(&window_));
    CheckVersionModel model;
    model.version = "2.1.0";
    model.min_version = "2.1.0";
    forced->model = model;
    forced->configure();
    // A history list that is not on screen is not closed again.
    auto* hidden = new HistoryView(&window_);
    hidden->hide();

    pressEscape();
    EXPECT_EQ(forced->parent(), &window_);
    EXPECT_TRUE(forced->isVisible());
    EXPECT_EQ(hidden->parent(), &window_);
}

}  // namespace
}  // namespace pex::test
