#pragma once
// The consumption records: the minutes each past session used, titled "消费明细", from
// "/consume/page".
#include <vector>

#include "Page/Records/RecordListViewController.h"
#include "service/ConsumeDataModel.h"

namespace pex {

class ConsumeViewController : public RecordListViewController {
    Q_OBJECT
  public:
    explicit ConsumeViewController(QObject* parent = nullptr);

    const std::vector<ConsumeModel>& models() const { return models_; }
    int numberOfRows() const override { return static_cast<int>(models_.size()); }

  protected:
    bool takeRecords(const nlohmann::json& data) override;
    void configureRow(ConsumeCellMac& cell, int row) override;

  private:
    std::vector<ConsumeModel> models_;
};

}  // namespace pex
