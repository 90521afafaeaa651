#include "purchase/PendingIAPOrder.h"

#include <nlohmann/json.hpp>

namespace pex {

namespace {

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::optional<PendingIAPOrder> decodeOrder(const nlohmann::json& element) {
    if (!element.is_object()) return std::nullopt;
    const nlohmann::json* orderNo = member(element, "orderNo");
    const nlohmann::json* productId = member(element, "productId");
    const nlohmann::json* transactionId = member(element, "transactionId");
    if (!orderNo || !orderNo->is_string() || !productId || !productId->is_string()) {
        return std::nullopt;
    }
    PendingIAPOrder order{orderNo->get<std::string>(), productId->get<std::string>(), std::nullopt};
    if (transactionId && !transactionId->is_null()) {
        if (!transactionId->is_string()) return std::nullopt;
        order.transactionId = transactionId->get<std::string>();
    }
    return order;
}

}  // namespace

std::optional<std::vector<PendingIAPOrder>> PendingIAPOrder::decodeList(const std::string& json,
                                                                        std::size_t* skipped) {
    if (skipped) *skipped = 0;
    const nlohmann::json list = nlohmann::json::parse(json, nullptr, false);
    if (list.is_discarded() || !list.is_array()) return std::nullopt;
    std::vector<PendingIAPOrder> orders;
    orders.reserve(list.size());
    for (const nlohmann::json& element : list) {
        if (auto order = decodeOrder(element)) {
            orders.push_back(std::move(*order));
        } else if (skipped) {
            ++*skipped;
        }
    }
    return orders;
}

std::optional<std::string> PendingIAPOrder::encodeList(const std::vector<PendingIAPOrder>& orders) {
    // Field order, as the records are declared; readers accept any order.
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const PendingIAPOrder& order : orders) {
        nlohmann::ordered_json element{{"orderNo", order.orderNo}, {"productId", order.productId}};
        if (order.transactionId) element["transactionId"] = *order.transactionId;
        list.push_back(std::move(element));
    }
    try {
        return list.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
    } catch (const nlohmann::ordered_json::exception&) {
        return std::nullopt;
    }
}

}  // namespace pex
