#include "Page/View/ContactView.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QResizeEvent>
#include <algorithm>

#include "Page/View/RemoteImageLoader.h"
#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/EscapeToClose.h"
#include "Tools/ImageView.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/SystemColors.h"
#include "Tools/TailTruncatingLabel.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"
#include "service/HttpDatas.h"

namespace pex {

namespace {

constexpr int kMargin = 16;

TailTruncatingLabel* makeCardLabel(const QString& text, double points, const Color& color,
                                   QWidget* parent) {
    auto* label = new TailTruncatingLabel(text, parent);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setFrameShape(QFrame::NoFrame);
    label->setContentsMargins(0, 0, 0, 0);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setFont(systemFont(points));
    setTextColor(label, color);
    return label;
}

}  // namespace

ContactView::ContactView(Key key, QWidget* parent)
    : BaseView(key, parent),
      titleL_(makeCardLabel(QStringLiteral("专属客服"), 14, labelColor(), this)),
      subTitleL_(makeCardLabel(QStringLiteral("扫一扫上面二维码，添加客服"), 13,
                               Color::grey(2.0 / 3.0), this)),
      closeImg_(new ImageView(AppImages::named(QStringLiteral("close")), this)),
      iconV_(new ImageView(this)) {}

ContactView* ContactView::makeCard(QWidget* parent) {
    auto* card = BaseView::create<ContactView>(parent);
    card->resize(kCardSide, kCardSide);
    card->setCornerRadius(kCardCornerRadius);
    return card;
}

void ContactView::setupUI() {
    BaseView::setupUI();  // white background
    addSubview(this, titleL_);
    addSubview(this, subTitleL_);
    addSubview(this, iconV_);
    addSubview(this, closeImg_);
    ClickGestureRecognizer::attach(closeImg_, [this](ClickGestureRecognizer&) { closeTap(); });
    EscapeToClose::attach(this, [this] { closeTap(); });
    closeImg_->setAccessibleName(QStringLiteral("关闭"));

    // The card may be gone (dismissed and deleted) when the reply comes.
    QPointer<ContactView> self(this);
    HttpDatas::shared().request(
        kContactPath, HTTPMethod::Get, std::nullopt, std::nullopt,
        [self](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (self) self->handleContactReply(failed, reply);
        });
}

void ContactView::setupConstraints() {
    const int labelWidth = std::max(0, width() - 2 * kMargin);
    const QSize title = titleL_->sizeHint();
    titleL_->setGeometry(kMargin, 18, std::min(title.width(), labelWidth), title.height());
    iconV_->setGeometry((width() - kQRCodeSide) / 2, titleL_->y() + titleL_->height() + 20,
                        kQRCodeSide, kQRCodeSide);
    const QSize sub = subTitleL_->sizeHint();
    const int subWidth = std::min(sub.width(), labelWidth);
    subTitleL_->setGeometry((width() - subWidth) / 2, iconV_->y() + iconV_->height() + 16, subWidth,
                            sub.height());
    closeImg_->setGeometry(width() - kMargin - kCloseSide,
                           titleL_->y() + (titleL_->height() - kCloseSide) / 2, kCloseSide,
                           kCloseSide);
}

void ContactView::resizeEvent(QResizeEvent* event) {
    BaseView::resizeEvent(event);
    setupConstraints();
    applyCornerRadius();
}

void ContactView::handleContactReply(std::optional<bool> failed,
                                     const std::optional<nlohmann::json>& reply) {
    // Service errors and transport failures leave the card as it is; the client shows them.
    if (failed != false || !reply) return;
    std::string address;
    if (reply->is_object()) {
        const auto data = reply->find("data");
        if (data != reply->end() && data->is_string()) address = data->get<std::string>();
    }
    RemoteImageLoader::setImage(
        iconV_, address.empty() ? std::nullopt : std::optional<std::string>(address));
}

void ContactView::closeTap() {
    if (const std::function<void()> block = enabledBlock) block();
    MYCenterPopView::dismiss();
}

void ContactView::setCornerRadius(double radius) {
    cornerRadius_ = std::max(0.0, radius);
    applyCornerRadius();
}

void ContactView::applyCornerRadius() {
    // Rounded, the card paints its own background with smooth corners (a widget mask would
    // cut them pixel by pixel); its contents keep clear of the corners.
    setAutoFillBackground(cornerRadius_ <= 0);
    update();
}

void ContactView::paintEvent(QPaintEvent* event) {
    if (cornerRadius_ > 0) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
        painter.fillPath(outline, palette().color(QPalette::Window));
    }
    BaseView::paintEvent(event);
}

}  // namespace pex
