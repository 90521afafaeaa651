#pragma once
// One goods item of the "/goods/list" reply. Shared by reference: the purchase page marks the
// chosen item by setting `isSelected` on the one object its list holds, so lists of it hold
// std::shared_ptr<RechargeModel> (map with ReplyMapper::mapList<RechargeModel::Ref>).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "service/ReplyMapper.h"

namespace pex {

struct RechargeModel {
    using Ref = std::shared_ptr<RechargeModel>;

    std::optional<std::string> intro;
    std::optional<std::string> goods_name;
    std::optional<std::string> price;
    std::optional<std::string> label;
    std::optional<std::string> currency_cn;
    std::int64_t ID = 0;      // sent as "goods_id" when an order is created
    bool isSelected = false;  // set by the purchase page
    std::optional<std::string> apple_id;

    void mapping(ReplyMapper& map) {
        map.text("intro", intro);
        map.text("goods_name", goods_name);
        map.text("price", price);
        map.text("label", label);
        map.text("currency_cn", currency_cn);
        map.integer("ID", ID);
        map.flag("isSelected", isSelected);
        map.text("apple_id", apple_id);
    }
};

}  // namespace pex
