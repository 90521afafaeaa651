#include "Page/History/SubtitleDetailAlertView.h"

#include "Page/AIInterviewPages/AiInterviewCellMac.h"
#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/EscapeToClose.h"
#include "Tools/ViewHelpers.h"
#include "service/ConsoleLog.h"
#include "service/GRDBDataManager.h"

namespace pex {

namespace {
constexpr double kCardFraction = 0.85;
constexpr int kTableInset = 50;
constexpr int kPlayerWidth = 460;
constexpr int kPlayerHeight = 30;
constexpr int kPlayerBottom = 20;
constexpr int kIconSide = 25;
constexpr int kIconTop = 15;
constexpr int kIconRight = 10;
}  // namespace

SubtitleDetailAlertView::SubtitleDetailAlertView(QWidget* parent)
    : SubtitleDetailAlertView("SubtitleDetailAlertView", parent) {}

SubtitleDetailAlertView::SubtitleDetailAlertView(const char* viewName, QWidget* parent)
    : ClickKeepingView(viewName, parent),
      shareView_(new LayerBackedView(this)),
      contentView_(new LayerBackedView(this)),
      audioView_(new AudioPlayerView(contentView_)),
      iconImg_(new ImageView(AppImages::named(QStringLiteral("share")), contentView_)),
      mTableView_(new TableView(contentView_)) {
    shareView_->setLayerBackgroundColor(Color::grey(0, 0.2));
    ClickGestureRecognizer::attach(shareView_, [this](ClickGestureRecognizer&) { didTap1(); });
    EscapeToClose::attach(this, [this] { didTap1(); });
    contentView_->setLayerBackgroundColor(Color::grey(1));
    contentView_->setCornerRadius(10);
    ClickGestureRecognizer::attach(iconImg_, [this](ClickGestureRecognizer&) { didTap(); });
    iconImg_->setAccessibleName(QStringLiteral("导出"));
    mTableView_->setDataSource(this);
    layoutSubviews();
}

void SubtitleDetailAlertView::configure() {
    if (!history) return;
    consoleLog(std::string("当时记录 0是自动回答：--") +
               (history->antoAnswerType == 0 ? "true" : "false"));
    dataArr = history->id ? GRDBDataManager::shared().fetchTranslationDetails(*history->id)
                          : std::vector<TranslationDetailRecord>{};
    mTableView_->reloadData();
    audioView_->load(history->audioFileName);
}

void SubtitleDetailAlertView::didTap() {
    if (didSelectItem) didSelectItem(1);
}

void SubtitleDetailAlertView::didTap1() {
    audioView_->stop();
    removeFromSuperview(this);
    // Each opening makes a new pop-up; a closed one is not shown again.
    deleteLater();
}

void SubtitleDetailAlertView::tableViewSelectionDidChange() {
    (void)mTableView_->currentIndex().row();
}

int SubtitleDetailAlertView::numberOfRowsInTableView(TableView& tableView) {
    return &tableView == mTableView_ ? static_cast<int>(dataArr.size()) : 0;
}

AiInterviewCellMac* SubtitleDetailAlertView::conversationCell(TableView& tableView) {
    const QString identifier = QString::fromLatin1(AiInterviewCellMac::kIdentifier);
    if (auto* cell =
            dynamic_cast<AiInterviewCellMac*>(tableView.makeViewWithIdentifier(identifier))) {
        return cell;
    }
    return static_cast<AiInterviewCellMac*>(
        tableView.adoptView(std::make_unique<AiInterviewCellMac>()));
}

TableCellView* SubtitleDetailAlertView::viewForRow(TableView& tableView, int row) {
    if (&tableView != mTableView_ || row < 0 || row >= static_cast<int>(dataArr.size())) {
        return nullptr;
    }
    AiInterviewCellMac* cell = conversationCell(tableView);
    cell->setRecord(dataArr[static_cast<std::size_t>(row)]);
    return cell;
}

QRect SubtitleDetailAlertView::transcriptTableFrame(const QSize& card) const {
    return QRect(0, 0, std::max(0, card.width() - kTableInset),
                 std::max(0, card.height() - kTableInset));
}

void SubtitleDetailAlertView::layoutSubviews() {
    shareView_->setGeometry(rect());
    const QSize card(static_cast<int>(width() * kCardFraction),
                     static_cast<int>(height() * kCardFraction));
    contentView_->setGeometry((width() - card.width()) / 2, (height() - card.height()) / 2,
                              card.width(), card.height());
    mTableView_->setGeometry(transcriptTableFrame(card));
    audioView_->setGeometry((card.width() - kPlayerWidth) / 2,
                            card.height() - kPlayerBottom - kPlayerHeight, kPlayerWidth,
                            kPlayerHeight);
    iconImg_->setGeometry(card.width() - kIconRight - kIconSide, kIconTop, kIconSide, kIconSide);
    iconImg_->raise();
}

}  // namespace pex
