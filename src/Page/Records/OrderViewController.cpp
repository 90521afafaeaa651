#include "Page/Records/OrderViewController.h"

#include "service/ReplyMapper.h"

namespace pex {

OrderViewController::OrderViewController(QObject* parent)
    : RecordListViewController(QStringLiteral("充值记录"), "/order/page", parent) {}

bool OrderViewController::takeRecords(const nlohmann::json& data) {
    auto page = ReplyMapper::map<OrderDataModel>(data);
    if (!page || !page->data) return false;
    models_ = std::move(*page->data);
    // One page is all the list shows, whatever the service sent.
    if (models_.size() > static_cast<std::size_t>(kPageSize)) models_.resize(kPageSize);
    return true;
}

void OrderViewController::configureRow(ConsumeCellMac& cell, int row) {
    cell.orderModel = models_.at(static_cast<std::size_t>(row));
    cell.configureOrder();
}

}  // namespace pex
