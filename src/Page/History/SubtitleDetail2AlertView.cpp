#include "Page/History/SubtitleDetail2AlertView.h"

#include "Page/AIInterviewPages/AiInterviewCellMac.h"
#include "service/GRDBDataManager.h"

namespace pex {

namespace {
constexpr double kLeftShare = 0.42;
constexpr int kTableInset = 50;
}  // namespace

SubtitleDetail2AlertView::SubtitleDetail2AlertView(QWidget* parent)
    : SubtitleDetailAlertView("SubtitleDetail2AlertView", parent),
      mTable2View_(new TableView(contentView())) {
    mTable2View_->setDataSource(this);
    layoutSubviews();
}

void SubtitleDetail2AlertView::configure() {
    SubtitleDetailAlertView::configure();
    if (!history) return;
    dataArrRight = history->id ? GRDBDataManager::shared().fetchAIResponseDetails(*history->id)
                               : std::vector<AIResponseDetailRecord>{};
    mTable2View_->reloadData();
}

int SubtitleDetail2AlertView::numberOfRowsInTableView(TableView& tableView) {
    if (&tableView == mTable2View_) return static_cast<int>(dataArrRight.size());
    return SubtitleDetailAlertView::numberOfRowsInTableView(tableView);
}

TableCellView* SubtitleDetail2AlertView::viewForRow(TableView& tableView, int row) {
    if (&tableView != mTable2View_) return SubtitleDetailAlertView::viewForRow(tableView, row);
    if (row < 0 || row >= static_cast<int>(dataArrRight.size())) return nullptr;
    AiInterviewCellMac* cell = conversationCell(tableView);
    cell->setResponse(dataArrRight[static_cast<std::size_t>(row)]);
    return cell;
}

QRect SubtitleDetail2AlertView::transcriptTableFrame(const QSize& card) const {
    return QRect(0, 0, static_cast<int>(card.width() * kLeftShare),
                 std::max(0, card.height() - kTableInset));
}

void SubtitleDetail2AlertView::layoutSubviews() {
    SubtitleDetailAlertView::layoutSubviews();
    if (!mTable2View_) return;
    const QSize card = contentView()->size();
    const int left = mTableView()->geometry().right() + 1;
    mTable2View_->setGeometry(left, 0, std::max(0, card.width() - kTableInset - left),
                              std::max(0, card.height() - kTableInset));
}

}  // namespace pex
