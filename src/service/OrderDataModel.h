#pragma once
// The "data" of "/order/page": one page of top-up records.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/ReplyMapper.h"

namespace pex {

struct OrderModel {
    std::optional<std::string> order_no;
    std::optional<std::string> currency;
    std::int64_t pay_method = 0;
    std::optional<std::string> pay_at;
    std::int64_t pay_status = 0;
    std::optional<std::string> goods_name;  // title of the row
    std::optional<std::string> pay_money;   // shown after "¥"
    std::optional<std::string> created_at;  // ISO 8601 time text

    void mapping(ReplyMapper& map) {
        map.text("order_no", order_no);
        map.text("currency", currency);
        map.integer("pay_method", pay_method);
        map.text("pay_at", pay_at);
        map.integer("pay_status", pay_status);
        map.text("goods_name", goods_name);
        map.text("pay_money", pay_money);
        map.text("created_at", created_at);
    }
    bool operator==(const OrderModel&) const = default;
};

struct OrderDataModel {
    std::optional<std::vector<OrderModel>> data;
    std::int64_t total = 0;

    void mapping(ReplyMapper& map) {
        map.models("data", data);
        map.integer("total", total);
    }
    bool operator==(const OrderDataModel&) const = default;
};

}  // namespace pex
