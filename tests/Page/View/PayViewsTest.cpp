// The purchase page's views: the QR code picture (read back with a real decoder), the QR
// pop-up, the payment options, the package rows and the notes with their contact card.
#include <QApplication>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextLayout>

#include <gtest/gtest.h>

#include "Page/PageFixture.h"
#include "Page/View/ContactView.h"
#include "Page/View/PaddedTextField.h"
#include "Page/View/PayOptionGroupView.h"
#include "Page/View/PayQRCodeView.h"
#include "Page/View/QRCodeGenerator.h"
#include "Page/View/RechargeCellView.h"
#include "Page/View/RechargeDescribeView.h"
#include "Page/View/RechargeInfoView.h"
#include "QRDecoding.h"
#include "Tools/ImageView.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/TailTruncatingLabel.h"
#include "Tools/UIConstants.h"
#include "platform/appkit/ApplicationWindows.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

const std::string kAddress = "weixin://wxpay/bizpayurl?pr=Px7aB3cDe9&order=PX100123456789";

// Every pixel pure black or white, and every run of one colour along a row or a column a whole
// number of modules long: the module side is read off the top-left finder pattern, whose first
// dark run is seven modules.
void expectCrispModules(const QImage& image) {
    const QImage picture = image.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.width(), picture.height());
    int module = 0;
    for (int y = 0; y < picture.height() && module == 0; ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qGray(picture.pixel(x, y)) != 0) continue;
            int run = 0;
            while (x + run < picture.width() && qGray(picture.pixel(x + run, y)) == 0) ++run;
            module = run / 7;
            ASSERT_EQ(run % 7, 0);
            break;
        }
    }
    ASSERT_GT(module, 0);
    EXPECT_EQ(picture.width() % module, 0);
    for (int line = 0; line < picture.height(); ++line) {
        for (const bool rows : {true, false}) {
            int run = 1;
            for (int i = 1; i <= picture.width(); ++i) {
                const auto at = [&](int k) {
                    return rows ? picture.pixel(k, line) : picture.pixel(line, k);
                };
                const QRgb pixel = at(i - 1);
                ASSERT_TRUE(pixel == qRgb(0, 0, 0) || pixel == qRgb(255, 255, 255));
                if (i < picture.width() && at(i) == pixel) {
                    ++run;
                    continue;
                }
                ASSERT_EQ(run % module, 0) << (rows ? "row " : "column ") << line;
                run = 1;
            }
        }
    }
}

TEST(QRCodeGenerator, APaymentAddressDecodesBackAndFitsWithCrispModules) {
    for (const std::string& text :
         {kAddress, std::string("http://127.0.0.1:18620/pay/qr/PX1001"), std::string(600, 'a')}) {
        SCOPED_TRACE(text);
        const std::optional<QImage> code = QRCodeGenerator::generate(text, 300);
        ASSERT_TRUE(code.has_value());
        EXPECT_LE(code->width(), 300);
        EXPECT_LE(code->height(), 300);
        expectCrispModules(*code);
        // The quiet zone: a white frame of four modules all round.
        EXPECT_EQ(code->pixel(0, 0), qRgb(255, 255, 255));
        EXPECT_EQ(decodeQRCode(*code), text);
    }
}

TEST(QRCodeGenerator, TextsThatGiveNoCode) {
    EXPECT_FALSE(QRCodeGenerator::generate("weixin://支付", 300));
    EXPECT_FALSE(QRCodeGenerator::generate("caf\xC3\xA9", 300));
    EXPECT_FALSE(QRCodeGenerator::generate("", 300));
    // Too many modules for the side at one pixel each.
    EXPECT_FALSE(QRCodeGenerator::generate(kAddress, 20));
    // More than any QR code holds.
    EXPECT_FALSE(QRCodeGenerator::generate(std::string(5000, 'a'), 300));
}

TEST(PayQRCodeView, TheInstructionFollowsTheOptionAndABadAddressLeavesNoCode) {
    for (const auto& [index, instruction] :
         {std::pair{0, QStringLiteral("请打开微信扫描支付")},
          std::pair{1, QStringLiteral("请打开支付宝扫描支付")},
          std::pair{7, QStringLiteral("请打开支付宝扫描支付")}}) {
        std::unique_ptr<PayQRCodeView> view(PayQRCodeView::makeCard());
        view->configure(kAddress, index);
        EXPECT_EQ(view->subTitleL()->text(), instruction);
        EXPECT_FALSE(view->iconV()->image().isNull());
        EXPECT_LE(view->iconV()->width(), 300);
    }
    std::unique_ptr<PayQRCodeView> view(PayQRCodeView::makeCard());
    view->configure("weixin://支付", 0);
    EXPECT_TRUE(view->iconV()->image().isNull());
    EXPECT_EQ(view->titleL()->text(), QStringLiteral("支付二维码"));

    int closed = 0;
    view->closeView = [&] { ++closed; };
    view->show();
    click(view->closeImg());
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(view->isVisible()) << "the pop-up does not close itself";
}

TEST(PayOptionGroupView, AClickAlwaysEndsChosenAndIsReportedAgain) {
    QWidget window;
    window.resize(400, 200);
    auto* group = new PayOptionGroupView(&window);
    group->addOption("weixin_pay", "微信支付", "使用微信支付", "pay_select", "pay_unselect");
    group->addOption("zhifubao_pay", "支付宝支付", "使用支付宝支付", "pay_select", "pay_unselect");
    EXPECT_EQ(group->contentHeight(), 104);
    group->setGeometry(0, 0, 400, group->contentHeight());
    window.show();
    std::vector<int> reported;
    group->onSelectionChanged = [&](int index, PayOptionView*) { reported.push_back(index); };
    EXPECT_FALSE(group->selectedIndex().has_value());

    click(group->optionViews()[1]);
    click(group->optionViews()[1]);
    click(group->optionViews()[0]);
    group->selectOption(2);
    group->selectOption(-1);
    EXPECT_EQ(reported, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(group->selectedIndex(), 0);
    EXPECT_TRUE(group->optionViews()[0]->isSelected());
    EXPECT_FALSE(group->optionViews()[1]->isSelected());
    EXPECT_EQ(group->optionViews()[1]->y(), 58);
}

TEST(RechargeCellView, TheBadgeShowsOnlyForALabel) {
    for (const auto& [label, shown] : {std::pair{std::optional<std::string>("推荐"), true},
                                       std::pair{std::optional<std::string>(""), false},
                                       std::pair{std::optional<std::string>(), false}}) {
        RechargeCellView cell;
        cell.resize(370, 75);
        cell.rechargeModel = std::make_shared<RechargeModel>();
        cell.rechargeModel->label = label;
        cell.rechargeModel->price = "19.90";
        cell.configure();
        EXPECT_EQ(cell.centerLabel()->isHidden(), !shown);
        EXPECT_EQ(cell.centerView()->isHidden(), !shown);
        EXPECT_EQ(cell.rightLabel()->text(), QStringLiteral("19.90"));
        EXPECT_EQ(cell.yuanLabel()->text(), QString()) << "an absent currency shows empty";
    }
}

// The fragments of a styled text drawn in `colour`.
std::vector<QString> fragmentsIn(const QString& html, const Color& colour) {
    QTextDocument document;
    document.setHtml(html);
    std::vector<QString> found;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().foreground().color() == colour.toQColor()) {
                found.push_back(fragment.text());
            }
        }
    }
    return found;
}

TEST(RechargeDescribeView, EveryContactWordOfTheNotesIsHighlighted) {
    const QString notes = RechargeDescribeView::makeNotesText(RechargeDescribeView::kNotesText, 6);
    EXPECT_EQ(fragmentsIn(notes, themeTealColor()),
              (std::vector<QString>{QStringLiteral("专属客服"), QStringLiteral("专属客服")}));
    const QString product =
        RechargeDescribeView::makeNotesText(RechargeDescribeView::kProductText, 6);
    EXPECT_TRUE(fragmentsIn(product, themeTealColor()).empty());
    // Text is taken literally, markup included.
    QTextDocument literal;
    literal.setHtml(RechargeDescribeView::makeNotesText("<b>专属客服</b>", 6));
    EXPECT_EQ(literal.toPlainText(), QStringLiteral("<b>专属客服</b>"));
}

TEST(RechargeDescribeView, TheSpacingFollowsEveryLineWrappedOrNot) {
    // At a narrow width the notes wrap: each of their lines, not only each paragraph, is
    // followed by the spacing.
    auto layOut = [](double spacing) {
        QTextDocument document;
        document.setDocumentMargin(0);
        document.setHtml(
            RechargeDescribeView::makeNotesText(RechargeDescribeView::kNotesText, spacing));
        document.setTextWidth(120);
        const double height = document.size().height();  // lays the text out
        int lines = 0;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            lines += block.layout()->lineCount();
        }
        return std::pair(height, lines);
    };
    const auto [tight, lines] = layOut(0);
    const auto [spaced, sameLines] = layOut(6);
    ASSERT_GT(lines, 3) << "the three notes wrap";
    EXPECT_EQ(sameLines, lines);
    EXPECT_DOUBLE_EQ(spaced - tight, 6.0 * lines);
}

class NotesContactTest : public PageFixture {
  protected:
    ~NotesContactTest() override {
        ApplicationWindows::setKeyWindow(nullptr);
        settleReplies();
    }
    std::vector<MYCenterPopView*> popUps() {
        std::vector<MYCenterPopView*> overlays;
        for (QObject* child : window_.children()) {
            auto* overlay = qobject_cast<MYCenterPopView*>(child);
            if (overlay && !overlay->isDismissing()) overlays.push_back(overlay);
        }
        return overlays;
    }
    QWidget window_;
};

TEST_F(NotesContactTest, TheNotesOpenOneCardAtATimeAndOnlyAShownCardHoldsThemBack) {
    window_.resize(600, 400);
    auto* notes = new RechargeDescribeView(&window_);
    notes->setGeometry(0, 0, 400, 248);
    window_.show();

    // Without a key window no card shows, and the notes stay usable.
    click(notes->subLabel());
    EXPECT_TRUE(popUps().empty());
    EXPECT_TRUE(notes->isButtonEnabled);

    ScopedKeyWindow key(&window_);
    click(notes->subLabel());
    ASSERT_EQ(popUps().size(), 1u);
    EXPECT_FALSE(notes->isButtonEnabled);
    click(notes->subLabel());
    EXPECT_EQ(popUps().size(), 1u);

    auto* card = qobject_cast<ContactView*>(popUps()[0]->contentView());
    ASSERT_NE(card, nullptr);
    card->closeTap();
    EXPECT_TRUE(notes->isButtonEnabled);
    EXPECT_TRUE(popUps().empty());
}

TEST(PaddedTextField, ItsNaturalSizeMakesRoomForTheInsets) {
    PaddedTextField field;
    QLineEdit plain;
    field.setText("13800138000");
    plain.setText("13800138000");
    EXPECT_EQ(field.insets(), QMargins(8, 4, 8, 4));
    EXPECT_EQ(field.sizeHint(), plain.sizeHint() + QSize(16, 8));
}

TEST(RechargeInfoView, MakesItsViewsWithoutPlacingThem) {
    RechargeInfoView view;
    EXPECT_EQ(view.contentV()->parentWidget(), nullptr);
    EXPECT_EQ(view.titleLabel()->parentWidget(), nullptr);
    EXPECT_EQ(view.contentV()->cornerRadius(), 10);
}

}  // namespace
}  // namespace pex::test
