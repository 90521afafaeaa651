#include "Page/History/SubtitleDetailAlertShareView.h"

#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/EscapeToClose.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {
constexpr int kCardRightInset = 80;
constexpr int kCardTop = 90;
constexpr int kTitleTop = 15;
constexpr int kChoiceGap = 10;

QLabel* makeChoice(const QString& text, QWidget* parent) {
    QLabel* label = makeTextLabel(text, parent);
    label->setFont(systemFont(15));
    setTextColor(label, colorWithHex(0x333333));
    return label;
}
}  // namespace

SubtitleDetailAlertShareView::SubtitleDetailAlertShareView(QWidget* parent)
    : ClickKeepingView("SubtitleDetailAlertShareView", parent),
      shareView_(new LayerBackedView(this)),
      contentView_(new LayerBackedView(this)),
      titleLab_(makeTextLabel(QStringLiteral("选择导出项目"), contentView_)),
      selectLab_(makeChoice(QStringLiteral("仅问题答案"), contentView_)),
      selectLab3_(makeChoice(QStringLiteral("仅同传"), contentView_)),
      select1Lab_(makeChoice(QStringLiteral("仅音频"), contentView_)) {
    shareView_->setLayerBackgroundColor(Color::grey(0, 0.2));
    ClickGestureRecognizer::attach(shareView_, [this](ClickGestureRecognizer&) { didTap1(); });
    EscapeToClose::attach(this, [this] { didTap1(); });
    contentView_->setLayerBackgroundColor(Color::grey(1));
    contentView_->setCornerRadius(10);
    titleLab_->setFont(systemFont(16));
    setTextColor(titleLab_, colorWithHex(0x666666));
    ClickGestureRecognizer::attach(selectLab_, [this](ClickGestureRecognizer&) { didTap(); });
    ClickGestureRecognizer::attach(select1Lab_, [this](ClickGestureRecognizer&) { didTap2(); });
    ClickGestureRecognizer::attach(selectLab3_, [this](ClickGestureRecognizer&) { didTap3(); });
    layoutSubviews();
}

void SubtitleDetailAlertShareView::setTranscriptChoiceShown(bool shown) {
    transcriptShown_ = shown;
    selectLab3_->setVisible(shown);
    layoutSubviews();
}

void SubtitleDetailAlertShareView::choose(int choice) {
    if (didSelectItem) didSelectItem(choice);
}

void SubtitleDetailAlertShareView::didTap() {
    choose(questionsAndAnswers);
}

void SubtitleDetailAlertShareView::didTap2() {
    choose(recording);
}

void SubtitleDetailAlertShareView::didTap3() {
    choose(transcript);
}

void SubtitleDetailAlertShareView::didTap1() {
    removeFromSuperview(this);
    deleteLater();
}

void SubtitleDetailAlertShareView::layoutSubviews() {
    shareView_->setGeometry(rect());
    const int cardHeight = transcriptShown_ ? kCardHeight : kCardHeightWithoutTranscript;
    contentView_->setGeometry(width() - kCardRightInset - kCardWidth, kCardTop, kCardWidth,
                              cardHeight);
    int top = kTitleTop;
    for (QLabel* label : {titleLab_, selectLab_, select1Lab_, selectLab3_}) {
        const QSize size = label->sizeHint();
        label->setGeometry((kCardWidth - size.width()) / 2, top, size.width(), size.height());
        top += size.height() + kChoiceGap;
    }
}

}  // namespace pex
