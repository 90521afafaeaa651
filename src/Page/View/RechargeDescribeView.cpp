#include "Page/View/RechargeDescribeView.h"

#include <QPointer>
#include <algorithm>

#include "Page/View/ContactView.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

constexpr int kCardInset = 6;
constexpr int kLeft = 16;

QLabel* makeHeading(const QString& text, QWidget* parent) {
    QLabel* label = makeTextLabel(text, parent);
    label->setFont(systemFont(13));
    setTextColor(label, Color::grey(1));
    return label;
}

QLabel* makeNotesLabel(const QString& text, QWidget* parent) {
    QLabel* label = makeTextLabel(QString(), parent);
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(RechargeDescribeView::makeNotesText(text, 6));
    return label;
}

QString cssColour(const Color& color) {
    return QString::fromStdString(hexString(color));
}

}  // namespace

const QString RechargeDescribeView::kProductText = QStringLiteral(
    "·🚀 全球专线加速：多节点低延迟接入，保障跨国通话流畅\n"
    "·🧠 实时思维导图：捕捉对话核心，实时提示逻辑要点与关键词\n"
    "·⏳ 时长灵活通用：支持Zoom/Teams/电话等多种会议场景\n"
    "·🗣️ 地道职场表达：针对商务英语模型调优，告别中式英语");
const QString RechargeDescribeView::kNotesText = QStringLiteral(
    "·时长宝：自购买之日起365日内有效\n"
    "·开具发票：联系专属客服上传信息\n"
    "·充值异常登问题：联系专属客服");
const QString RechargeDescribeView::kContactWord = QStringLiteral("专属客服");

QString RechargeDescribeView::makeNotesText(const QString& text, double spacing) {
    const QString highlight = QStringLiteral("<span style=\"color:%1\">%2</span>")
                                  .arg(cssColour(themeTealColor()), kContactWord.toHtmlEscaped());
    QString html;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        QStringList pieces = line.split(kContactWord);
        for (QString& piece : pieces) piece = piece.toHtmlEscaped();
        // The spacing goes after every line, wrapped ones included, as between paragraphs.
        html += QStringLiteral(
                    "<p style=\"margin:0; line-height:%1px; -qt-line-height-type:line-distance\">"
                    "%2</p>")
                    .arg(spacing)
                    .arg(pieces.join(highlight));
    }
    return QStringLiteral("<div style=\"color:%1; font-size:12px\">%2</div>")
        .arg(cssColour(Color::grey(1)), html);
}

RechargeDescribeView::RechargeDescribeView(QWidget* parent)
    : LayerBackedView(parent),
      contentV_(new LayerBackedView(this)),
      titleLabel_(makeHeading(QStringLiteral("充值说明"), contentV_)),
      subLabel_(makeNotesLabel(kNotesText, contentV_)),
      title2Label_(makeHeading(QStringLiteral("产品说明"), contentV_)),
      sub2Label_(makeNotesLabel(kProductText, contentV_)) {
    setLayerBackgroundColor(Color::clear());
    contentV_->setLayerBackgroundColor(colorWithHex(0xB2B2B2));
    contentV_->setCornerRadius(10);
    ClickGestureRecognizer::attach(subLabel_, [this](ClickGestureRecognizer&) { handleTap(); });
}

void RechargeDescribeView::handleTap() {
    showContact();
}

void RechargeDescribeView::showContact() {
    if (!isButtonEnabled) return;
    consoleLog("点击说明视图 - 联系客服");
    ContactView* card = ContactView::makeCard();
    card->enabledBlock = [self = QPointer<RechargeDescribeView>(this)] {
        if (self) self->isButtonEnabled = true;
    };
    // Only a card that is on screen can give the notes back through its close mark.
    if (MYCenterPopView::showInKeyWindow(card)) isButtonEnabled = false;
}

void RechargeDescribeView::layoutSubviews() {
    contentV_->setGeometry(rect().adjusted(kCardInset, kCardInset, -kCardInset, -kCardInset));
    const int textWidth = std::max(0, contentV_->width() - kLeft - 4);
    title2Label_->setGeometry(kLeft, 11, textWidth, 20);
    const int productHeight = sub2Label_->heightForWidth(textWidth);
    sub2Label_->setGeometry(kLeft, title2Label_->geometry().bottom() + 1 + 8, textWidth,
                            productHeight);
    titleLabel_->setGeometry(kLeft, sub2Label_->geometry().bottom() + 1 + 16, textWidth, 20);
    const int notesTop = titleLabel_->geometry().bottom() + 1 + 8;
    const int notesWidth = std::max(0, contentV_->width() - kLeft - 16);
    subLabel_->setGeometry(kLeft, notesTop, notesWidth,
                           std::max(0, contentV_->height() - 16 - notesTop));
}

}  // namespace pex
