#include "Page/History/SubtitleExportView.h"

#include <QPointer>

#include "Page/History/SubtitleExportCell.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {
constexpr int kHeadingHeight = 25;
constexpr int kCodeHeadingLeft = 10;
constexpr int kCodeHeadingWidth = 170;
constexpr int kNameHeadingWidth = 250;
constexpr int kOptionHeadingWidth = 175;

QLabel* makeHeading(const QString& text, QWidget* parent) {
    QLabel* label = makeTextLabel(text, parent);
    label->setFont(systemFont(14, 1.0));
    return label;
}
}  // namespace

SubtitleExportView::SubtitleExportView(QWidget* parent)
    : ClickKeepingView("SubtitleExportView", parent),
      codeTitleView_(makeHeading(QStringLiteral("编号"), this)),
      nameTitleView_(makeHeading(QStringLiteral("名称"), this)),
      optionTitleView_(makeHeading(QStringLiteral("操作"), this)),
      mTableView_(new TableView(this)) {
    mTableView_->setDataSource(this);
    layoutSubviews();
}

int SubtitleExportView::numberOfRowsInTableView(TableView&) {
    return static_cast<int>(dataArr.size());
}

TableCellView* SubtitleExportView::viewForRow(TableView& tableView, int row) {
    if (row < 0 || row >= static_cast<int>(dataArr.size())) return nullptr;
    const QString identifier = QString::fromLatin1(SubtitleExportCell::kIdentifier);
    auto* cell = dynamic_cast<SubtitleExportCell*>(tableView.makeViewWithIdentifier(identifier));
    if (!cell) {
        cell = static_cast<SubtitleExportCell*>(
            tableView.adoptView(std::make_unique<SubtitleExportCell>()));
    }
    const HistoryRecord& record = dataArr[static_cast<std::size_t>(row)];
    cell->codeLab.setText(QString::fromStdString(record.time));
    cell->setName(QString::fromStdString(record.historyFileName.value_or("")));
    QPointer<SubtitleExportView> weak(this);
    const std::int64_t id = record.id.value_or(0);
    cell->didSelectItem = [weak, row, id](int action) {
        if (weak && weak->didSelectItem) weak->didSelectItem(row, action, id);
    };
    return cell;
}

void SubtitleExportView::layoutSubviews() {
    codeTitleView_->setGeometry(kCodeHeadingLeft, 0, kCodeHeadingWidth, kHeadingHeight);
    nameTitleView_->setGeometry(kCodeHeadingLeft + kCodeHeadingWidth, 0, kNameHeadingWidth,
                                kHeadingHeight);
    optionTitleView_->setGeometry(width() - kOptionHeadingWidth, 0, kOptionHeadingWidth,
                                  kHeadingHeight);
    mTableView_->setGeometry(0, kHeadingHeight, width(), std::max(0, height() - kHeadingHeight));
}

}  // namespace pex
