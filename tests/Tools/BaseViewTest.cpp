#include "Tools/BaseView.h"

#include <gtest/gtest.h>
#include <QLineEdit>

#include "Tools/BaseViewController.h"
#include "platform/foundation/Clock.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class OrderedView : public BaseView {
  public:
    OrderedView(Key key, QWidget* parent, std::vector<std::string>& log)
        : BaseView(key, parent), log_(log) {
        log_.push_back("constructor");
    }
    QWidget* child = nullptr;

  protected:
    void setupUI() override {
        BaseView::setupUI();
        child = new QWidget(this);
        log_.push_back("setupUI");
    }
    void setupConstraints() override {
        log_.push_back(child ? "setupConstraints after its subviews" : "setupConstraints alone");
    }

  private:
    std::vector<std::string>& log_;
};

TEST(BaseViewTest, SetsUpSubviewsThenConstraintsBeforeTheCallerSeesTheView) {
    std::vector<std::string> log;
    QWidget parent;
    OrderedView* view = BaseView::create<OrderedView>(&parent, log);
    log.push_back("caller");
    EXPECT_EQ(log, (std::vector<std::string>{"constructor", "setupUI",
                                             "setupConstraints after its subviews", "caller"}));
    EXPECT_EQ(view->parentWidget(), &parent);
    // The base set-up gives the view a white background.
    EXPECT_TRUE(view->autoFillBackground());
    EXPECT_EQ(view->palette().color(QPalette::Window), QColor(Qt::white));
}

class FormPage : public BaseViewController {
  public:
    std::vector<std::string> log;
    QLineEdit* field = nullptr;

  protected:
    void setupUI() override {
        field = new QLineEdit(view());
        log.push_back("setupUI");
    }
    void setupConstraints() override { log.push_back("setupConstraints"); }
    void clearFirstResponderLater() override {
        log.push_back("clearFirstResponderLater");
        BaseViewController::clearFirstResponderLater();
    }
};

TEST(BaseViewControllerTest, LoadsAPageViewAndSetsUpInOrder) {
    FormPage page;
    EXPECT_TRUE(page.log.empty());  // nothing runs until the view is asked for
    QWidget* view = page.view();
    EXPECT_EQ(page.log, (std::vector<std::string>{"clearFirstResponderLater", "setupUI",
                                                  "setupConstraints"}));
    EXPECT_EQ(view->palette().color(QPalette::Window), QColor(0xF0, 0xFB, 0xF9));
    EXPECT_TRUE(view->autoFillBackground());
}

TEST(BaseViewControllerTest, NoViewHasTheFocusOnceATenthOfASecondHasPassed) {
    ScopedManualClock clock;
    FormPage page;
    QWidget* view = page.view();
    view->show();
    page.field->setFocus();
    ASSERT_EQ(view->window()->focusWidget(), page.field);

    clock.clock().advance(std::chrono::milliseconds(99));
    test::runMainUntil([] { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(view->window()->focusWidget(), page.field);

    clock.clock().advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(test::runMainUntil([&] { return view->window()->focusWidget() == nullptr; }));
}

}  // namespace
}  // namespace pex
