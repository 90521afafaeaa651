#pragma once
// The top-up records: the user's orders, titled "充值记录", from "/order/page".
#include <vector>

#include "Page/Records/RecordListViewController.h"
#include "service/OrderDataModel.h"

namespace pex {

class OrderViewController : public RecordListViewController {
    Q_OBJECT
  public:
    explicit OrderViewController(QObject* parent = nullptr);

    const std::vector<OrderModel>& models() const { return models_; }
    int numberOfRows() const override { return static_cast<int>(models_.size()); }

  protected:
    bool takeRecords(const nlohmann::json& data) override;
    void configureRow(ConsumeCellMac& cell, int row) override;

  private:
    std::vector<OrderModel> models_;
};

}  // namespace pex
