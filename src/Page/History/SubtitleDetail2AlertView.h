#pragma once
// The detail pop-up of a stored session whose answers were asked for by hand: the transcript
// lines on the left and, on the right, the questions asked with their answers, in the order they
// were stored; otherwise as the automatic-answer pop-up.
#include <vector>

#include "Page/History/SubtitleDetailAlertView.h"
#include "service/AIResponseDetailRecord.h"

namespace pex {

class SubtitleDetail2AlertView : public SubtitleDetailAlertView {
    Q_OBJECT
  public:
    explicit SubtitleDetail2AlertView(QWidget* parent = nullptr);

    std::vector<AIResponseDetailRecord> dataArrRight;

    void configure() override;

    TableView* mTable2View() const { return mTable2View_; }

    int numberOfRowsInTableView(TableView& tableView) override;
    TableCellView* viewForRow(TableView& tableView, int row) override;

  protected:
    void layoutSubviews() override;
    QRect transcriptTableFrame(const QSize& card) const override;

  private:
    TableView* mTable2View_;
};

}  // namespace pex
