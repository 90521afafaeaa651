// The customer-service contact card against the stand-in service: the QR image loaded from the
// address the service gives, the replies that leave it blank, the close image with its block
// and the centred pop-up, and one request per card.
#include "Page/View/ContactView.h"

#include <QFile>
#include <QMainWindow>
#include <memory>

#include <gtest/gtest.h>

#include "Tools/ImageView.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/TailTruncatingLabel.h"
#include "platform/appkit/ApplicationWindows.h"
#include "support/EdgePixels.h"
#include "support/StandinClientTest.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Call;
using standin::Fault;
using standin::Reply;
using namespace std::chrono_literals;

class ContactViewTest : public test::StandinClientTest {
  protected:
    void TearDown() override {
        cards_.clear();
        StandinClientTest::TearDown();
    }

    ContactView* makeCard() {
        auto& card = cards_.emplace_back(ContactView::makeCard());
        card->show();
        return card.get();
    }

    // The service answers "/operation/contact" with `reply`.
    void answerContact(json reply) {
        service_.addApiPath("GET", "/operation/contact",
                            [reply](const Call&) { return Reply::json(200, reply); });
    }

    // Waits until the card's request has reached the service and its reply has had time to be
    // handled: the picture of a wrongly accepted address would show by then.
    void settle(std::size_t requests = 1) {
        ASSERT_TRUE(test::runMainUntil(
            [&] { return service_.requests("/operation/contact").size() >= requests; }));
        test::runMainUntil([] { return false; }, 400ms);
    }

    std::vector<std::unique_ptr<ContactView>> cards_;
};

TEST_F(ContactViewTest, ShowsTheQRImageFromTheServiceUnderTheTitle) {
    ContactView* card = makeCard();
    ASSERT_TRUE(test::runMainUntil([&] { return !card->iconV()->image().isNull(); }));

    EXPECT_EQ(card->size(), QSize(260, 260));
    EXPECT_EQ(card->titleL()->text(), "专属客服");
    EXPECT_EQ(card->subTitleL()->text(), "扫一扫上面二维码，添加客服");
    const QRect title = card->titleL()->geometry();
    const QRect icon = card->iconV()->geometry();
    EXPECT_EQ(title.topLeft(), QPoint(16, 18));
    EXPECT_EQ(icon.size(), QSize(150, 150));
    EXPECT_EQ(icon.center().x(), card->rect().center().x());
    EXPECT_EQ(icon.top(), title.bottom() + 1 + 20);
    EXPECT_EQ(card->subTitleL()->y(), icon.bottom() + 1 + 16);
    const QRect close = card->closeImg()->geometry();
    EXPECT_EQ(close.size(), QSize(20, 20));
    EXPECT_EQ(close.right() + 1, 260 - 16);
    EXPECT_EQ(close.center().y(), title.center().y());
    // Rounded corners with smooth edges over whatever lies beneath.
    EXPECT_TRUE(card->mask().isEmpty());
    QWidget dark;
    dark.setAutoFillBackground(true);
    QPalette palette = dark.palette();
    palette.setColor(QPalette::Window, Qt::black);
    dark.setPalette(palette);
    dark.resize(260, 260);
    card->setParent(&dark);
    card->move(0, 0);
    card->show();
    const QImage picture = dark.grab().toImage();
    const qreal scale = picture.devicePixelRatio();
    EXPECT_EQ(picture.pixelColor(QPoint(0, 0)), QColor(Qt::black));
    EXPECT_EQ(picture.pixelColor(QPoint(12, 12) * scale), QColor(Qt::white));
    EXPECT_TRUE(test::hasBlendedEdge(picture, QPoint(0, 0), QPoint(12, 12) * scale));
    card->setParent(nullptr);

    const auto asked = service_.requests("/operation/contact");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].method, "GET");
    EXPECT_EQ(service_.requests("/static/contact-qr.png").size(), 1u);
}

TEST_F(ContactViewTest, RepliesWithoutAnHttpImageAddressLeaveTheImageBlank) {
    test::TempDir dir;
    const std::string localPicture = (dir.path() / "qr.png").string();
    {
        // A real picture on disk: a file address must still not be read.
        QFile file(QString::fromStdString(localPicture));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QImage(8, 8, QImage::Format_RGB32).save(&file, "PNG");
    }
    const std::string served = service_.origin() + "/static/contact-qr.png";
    const struct {
        const char* name;
        json reply;
    } cases[] = {
        {"empty data", {{"code", 0}, {"data", ""}}},
        {"no data", {{"code", 0}}},
        {"data not text", {{"code", 0}, {"data", {{"url", served}}}}},
        {"not an address", {{"code", 0}, {"data", "二维码"}}},
        {"file address", {{"code", 0}, {"data", "file://" + localPicture}}},
        {"ftp address", {{"code", 0}, {"data", "ftp://127.0.0.1/qr.png"}}},
        {"service error", {{"code", 1}, {"data", served}}},
    };
    std::size_t sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        answerContact(c.reply);
        ContactView* card = makeCard();
        settle(++sent);
        EXPECT_TRUE(card->iconV()->image().isNull());
    }
    EXPECT_TRUE(service_.requests("/static/contact-qr.png").empty());
    EXPECT_TRUE(alerts_->messages.empty());  // none of them had a message to show
}

TEST_F(ContactViewTest, ServiceErrorLeavesTheCardBlankAndTheClientAlerts) {
    service_.setFault("/operation/contact", Fault::serviceError(1001, "客服信息获取失败"));
    ContactView* card = makeCard();
    // The alert comes a moment after the reply was handed to the card.
    ASSERT_TRUE(test::runMainUntil([&] { return !alerts_->messages.empty(); }));
    EXPECT_EQ(alerts_->messages, std::vector<std::string>{"客服信息获取失败"});
    EXPECT_TRUE(card->iconV()->image().isNull());
}

TEST_F(ContactViewTest, EveryCardAsksTheServiceAgain) {
    makeCard();
    makeCard();
    EXPECT_TRUE(
        test::runMainUntil([&] { return service_.requests("/operation/contact").size() == 2; }));
}

TEST_F(ContactViewTest, ReplyAfterTheCardIsGoneIsDropped) {
    service_.setFault("/operation/contact", Fault::slow(200ms));
    makeCard();
    cards_.clear();  // deleted while its request runs
    settle();
    test::runMainUntil([] { return false; }, 300ms);
    // The late reply reached no card, so no picture was asked for (and, in the sanitizer
    // build, no freed memory was touched).
    EXPECT_TRUE(service_.requests("/static/contact-qr.png").empty());
}

class ContactViewPopUpTest : public ContactViewTest {
  protected:
    void SetUp() override {
        ContactViewTest::SetUp();
        window_.setCentralWidget(new QWidget);
        window_.resize(500, 400);
        window_.show();
    }

    // The card shown in the centred pop-up over the key window, as the hosts do.
    MYCenterPopView* showCard(ContactView*& card) {
        card = ContactView::makeCard();
        return MYCenterPopView::showInKeyWindow(card);
    }

    QMainWindow window_;
    ScopedKeyWindow keyWindow_{&window_};
};

TEST_F(ContactViewPopUpTest, CloseRunsTheBlockOnceThenDismissesThePopUp) {
    ContactView* card = nullptr;
    QPointer<MYCenterPopView> overlay = showCard(card);
    ASSERT_TRUE(overlay);
    int calls = 0;
    bool dismissedBeforeBlock = true;
    card->enabledBlock = [&] {
        ++calls;
        dismissedBeforeBlock = overlay->isDismissing();
    };
    test::click(card->closeImg());
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(dismissedBeforeBlock);
    EXPECT_TRUE(overlay->isDismissing());
}

TEST_F(ContactViewPopUpTest, CloseWorksWithoutBlockAndBeforeTheImageArrived) {
    service_.setFault("/operation/contact", Fault::slow(2s));
    ContactView* card = nullptr;
    QPointer<MYCenterPopView> overlay = showCard(card);
    ASSERT_TRUE(overlay);
    ASSERT_TRUE(card->iconV()->image().isNull());
    test::click(card->closeImg());
    EXPECT_TRUE(overlay->isDismissing());
}

}  // namespace
}  // namespace pex
