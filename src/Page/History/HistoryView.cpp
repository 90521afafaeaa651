#include "Page/History/HistoryView.h"

#include <QLabel>
#include <QPointer>

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/GRDBDataManager.h"

namespace pex {

namespace {
constexpr double kCardFraction = 0.85;
constexpr int kInset = 20;
constexpr int kCloseSide = 20;
constexpr int kCloseRightInset = 10;
constexpr int kPictureWidth = 600;
constexpr int kPictureBottomSpace = 100;
constexpr int kSearchWidth = 300;
constexpr int kSearchHeight = 30;
constexpr int kSearchInset = 5;
constexpr int kListRightInset = 10;
}  // namespace

HistoryView::HistoryView(QWidget* parent)
    : ClickKeepingView("HistoryView", parent),
      sharedView_(new LayerBackedView(this)),
      bgView_(new LayerBackedView(this)),
      bgImg_(new ImageView(AppImages::named(QStringLiteral("tip_bg")), bgView_)),
      closeImg_(new ImageView(AppImages::named(QStringLiteral("close")), bgView_)),
      tip1Lab_(makeTextLabel(QStringLiteral("面试记录"), bgView_)),
      searchBox_(new LayerBackedView(bgView_)),
      searchTextField_(new QLineEdit(searchBox_)),
      contentView_(new QListWidget(bgView_)) {
    sharedView_->setLayerBackgroundColor(Color::grey(0, 0.2));
    sharedView_->setCornerRadius(10);
    ClickGestureRecognizer::attach(sharedView_, [this](ClickGestureRecognizer&) { didTap1(); });

    bgView_->setLayerBackgroundColor(colorWithHex(0xF9F9F9));
    bgView_->setCornerRadius(10);
    ClickGestureRecognizer::attach(bgView_, [this](ClickGestureRecognizer&) { bgTap(); });
    ClickGestureRecognizer::attach(closeImg_, [this](ClickGestureRecognizer&) { didTap1(); });

    tip1Lab_->setFont(systemFont(15));
    setTextColor(tip1Lab_, colorWithHex(0x333333));
    tip1Lab_->setAlignment(Qt::AlignCenter);
    tip1Lab_->setWordWrap(true);

    searchBox_->setLayerBackgroundColor(Color::grey(1));
    searchBox_->setCornerRadius(8);
    searchTextField_->setPlaceholderText(QStringLiteral("请输入搜索的面试记录名称"));
    searchTextField_->setFrame(false);
    searchTextField_->setAttribute(Qt::WA_MacShowFocusRect, false);
    searchTextField_->setStyleSheet(QStringLiteral("background: transparent; border: none;"));

    contentView_->setFrameShape(QFrame::NoFrame);
    contentView_->setSelectionMode(QAbstractItemView::NoSelection);
    contentView_->setFocusPolicy(Qt::NoFocus);
    contentView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    contentView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    contentView_->setStyleSheet(QStringLiteral(
        "QListWidget { background: transparent; font-size: 14px; color: black; }"
        "QListWidget::item { padding: 15px 0px; border-bottom: 1px solid #E8E8E8; }"));

    layoutSubviews();
    reload();
}

void HistoryView::reload() {
    QPointer<HistoryView> weak(this);
    DispatchQueue::main().async([weak] {
        if (!weak) return;
        weak->showRecords(GRDBDataManager::shared().fetchAllHistory());
    });
}

void HistoryView::showRecords(std::vector<HistoryRecord> records) {
    records_ = std::move(records);
    contentView_->clear();
    for (const HistoryRecord& record : records_) {
        contentView_->addItem(QString::fromStdString(record.historyFileName.value_or("")));
    }
}

void HistoryView::didTap1() {
    removeFromSuperview(this);
}

void HistoryView::layoutSubviews() {
    sharedView_->setGeometry(rect());
    const int cardWidth = static_cast<int>(width() * kCardFraction);
    const int cardHeight = static_cast<int>(height() * kCardFraction);
    bgView_->setGeometry((width() - cardWidth) / 2, (height() - cardHeight) / 2, cardWidth,
                         cardHeight);
    bgImg_->setGeometry((cardWidth - kPictureWidth) / 2, 0, kPictureWidth,
                        std::max(0, cardHeight - kPictureBottomSpace));
    closeImg_->setGeometry(cardWidth - kCloseRightInset - kCloseSide, kInset, kCloseSide,
                           kCloseSide);
    const QSize title = tip1Lab_->sizeHint();
    tip1Lab_->setGeometry(kInset, kInset, title.width(), title.height());
    const int titleCentre = kInset + title.height() / 2;
    searchBox_->setGeometry((cardWidth - kSearchWidth) / 2, titleCentre - kSearchHeight / 2,
                            kSearchWidth, kSearchHeight);
    searchTextField_->setGeometry(kSearchInset, kSearchInset, kSearchWidth - 2 * kSearchInset,
                                  kSearchHeight - 2 * kSearchInset);
    const int listTop = kInset + title.height() + kInset;
    contentView_->setGeometry(kInset, listTop, std::max(0, cardWidth - kInset - kListRightInset),
                              std::max(0, cardHeight - kInset - listTop));
}

}  // namespace pex
