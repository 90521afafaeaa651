#pragma once
// The history list: the headings "编号", "名称" and "操作" over a table of the stored sessions, one
// SubtitleExportCell per row. A button in a row hands (row, action, session id) to
// `didSelectItem`; the id is 0 for a session without one. Clicks never reach the views behind.
#include <QLabel>
#include <cstdint>
#include <functional>
#include <vector>

#include "Tools/ClickKeepingView.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TableViewDataSource.h"
#include "service/HistoryRecord.h"

namespace pex {

class SubtitleExportView : public ClickKeepingView, public TableViewDataSource {
    Q_OBJECT
  public:
    explicit SubtitleExportView(QWidget* parent = nullptr);

    std::vector<HistoryRecord> dataArr;
    std::function<void(int row, int action, std::int64_t id)> didSelectItem;

    QLabel* codeTitleView() const { return codeTitleView_; }
    QLabel* nameTitleView() const { return nameTitleView_; }
    QLabel* optionTitleView() const { return optionTitleView_; }
    TableView* mTableView() const { return mTableView_; }

    int numberOfRowsInTableView(TableView& tableView) override;
    TableCellView* viewForRow(TableView& tableView, int row) override;

  protected:
    void layoutSubviews() override;

  private:
    QLabel* codeTitleView_;
    QLabel* nameTitleView_;
    QLabel* optionTitleView_;
    TableView* mTableView_;
};

}  // namespace pex
