#include "Page/Records/ConsumeViewController.h"

#include "service/ReplyMapper.h"

namespace pex {

ConsumeViewController::ConsumeViewController(QObject* parent)
    : RecordListViewController(QStringLiteral("消费明细"), "/consume/page", parent) {}

bool ConsumeViewController::takeRecords(const nlohmann::json& data) {
    auto page = ReplyMapper::map<ConsumeDataModel>(data);
    if (!page || !page->data) return false;
    models_ = std::move(*page->data);
    // One page is all the list shows, whatever the service sent.
    if (models_.size() > static_cast<std::size_t>(kPageSize)) models_.resize(kPageSize);
    return true;
}

void ConsumeViewController::configureRow(ConsumeCellMac& cell, int row) {
    cell.model = models_.at(static_cast<std::size_t>(row));
    cell.configureConsume();
}

}  // namespace pex
