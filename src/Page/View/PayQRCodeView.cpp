#include "Page/View/PayQRCodeView.h"

#include <QPainterPath>
#include <QRegion>
#include <algorithm>

#include "Page/View/QRCodeGenerator.h"
#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/EscapeToClose.h"
#include "Tools/ImageView.h"
#include "Tools/SystemColors.h"
#include "Tools/TailTruncatingLabel.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

constexpr int kMargin = 16;
constexpr int kCloseSide = 20;

TailTruncatingLabel* makeLineLabel(const QString& text, double points, const Color& color,
                                   QWidget* parent) {
    auto* label = new TailTruncatingLabel(text, parent);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setFont(systemFont(points));
    setTextColor(label, color);
    return label;
}

}  // namespace

PayQRCodeView::PayQRCodeView(Key key, QWidget* parent)
    : BaseView(key, parent),
      titleL_(makeLineLabel(QStringLiteral("支付二维码"), 14, labelColor(), this)),
      subTitleL_(
          makeLineLabel(QStringLiteral("请打开微信扫描支付"), 13, Color::grey(2.0 / 3.0), this)),
      tipTitleL_(makeTextLabel(
          QStringLiteral("注：如支付成功，未及时到账，请手动点击我的中心获取用户信息"), this)),
      closeImg_(new ImageView(AppImages::named(QStringLiteral("close")), this)),
      iconV_(new ImageView(this)) {}

PayQRCodeView* PayQRCodeView::makeCard(QWidget* parent) {
    auto* card = BaseView::create<PayQRCodeView>(parent);
    card->resize(kWidth, kHeight);
    return card;
}

void PayQRCodeView::setupUI() {
    BaseView::setupUI();  // white background
    tipTitleL_->setFont(systemFont(11));
    setTextColor(tipTitleL_, Color::rgb(1, 0, 0));
    tipTitleL_->setWordWrap(true);
    tipTitleL_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    addSubview(this, titleL_);
    addSubview(this, subTitleL_);
    addSubview(this, iconV_);
    addSubview(this, tipTitleL_);
    addSubview(this, closeImg_);
    ClickGestureRecognizer::attach(closeImg_, [this](ClickGestureRecognizer&) { closeTap(); });
    EscapeToClose::attach(this, [this] { closeTap(); });
    closeImg_->setAccessibleName(QStringLiteral("关闭"));
}

void PayQRCodeView::setupConstraints() {
    const int labelWidth = std::max(0, width() - 2 * kMargin);
    const QSize title = titleL_->sizeHint();
    titleL_->setGeometry(kMargin, 18, std::min(title.width(), labelWidth), title.height());
    closeImg_->setGeometry(width() - kMargin - kCloseSide,
                           titleL_->y() + (titleL_->height() - kCloseSide) / 2, kCloseSide,
                           kCloseSide);
    // The code keeps its own pixel size (whole pixels per module, never rescaled), centred in
    // its 300-point square.
    const QRect codeArea((width() - kCodeSide) / 2, titleL_->y() + titleL_->height() + 20,
                         kCodeSide, kCodeSide);
    const QSize code = iconV_->image().isNull() ? codeArea.size() : iconV_->image().size();
    iconV_->setGeometry(codeArea.x() + (kCodeSide - code.width()) / 2,
                        codeArea.y() + (kCodeSide - code.height()) / 2, code.width(),
                        code.height());
    const QSize sub = subTitleL_->sizeHint();
    const int subWidth = std::min(sub.width(), labelWidth);
    subTitleL_->setGeometry((width() - subWidth) / 2, codeArea.bottom() + 1 + 16, subWidth,
                            sub.height());
    // Up to three lines, 16 from both sides, centred.
    const int tipLines =
        std::min(3, std::max(1, tipTitleL_->heightForWidth(labelWidth) /
                                    std::max(1, tipTitleL_->fontMetrics().height())));
    tipTitleL_->setGeometry(kMargin, subTitleL_->y() + subTitleL_->height() + 8, labelWidth,
                            tipLines * tipTitleL_->fontMetrics().height());
}

void PayQRCodeView::resizeEvent(QResizeEvent* event) {
    BaseView::resizeEvent(event);
    setupConstraints();
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void PayQRCodeView::configure(const std::string& address, int payIndex) {
    subTitleL_->setText(payIndex == 0 ? QStringLiteral("请打开微信扫描支付")
                                      : QStringLiteral("请打开支付宝扫描支付"));
    const std::optional<QImage> code = QRCodeGenerator::generate(address, kCodeSide);
    iconV_->setImage(code ? QPixmap::fromImage(*code) : QPixmap());
    setupConstraints();
}

void PayQRCodeView::closeTap() {
    if (const auto callback = closeView) callback();
}

}  // namespace pex
