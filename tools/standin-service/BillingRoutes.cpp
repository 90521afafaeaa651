// Minute billing, records and goods.
#include <algorithm>

#include "standin-service/StandinRoutes.h"

namespace pex::standin {

namespace {

constexpr std::int64_t kReportSeconds = 10;  // one periodic report charges ten seconds

struct Goods {
    std::int64_t id;
    const char* name;
    const char* intro;
    const char* price;
    const char* label;
    const char* productId;
    std::int64_t seconds;
};

const Goods kGoods[] = {
    {1, "1小时面试时长", "适合一次短面试", "19.90", "", "pexmora.hours.1", 3600},
    {2, "2小时面试时长", "最受欢迎的选择", "39.90", "推荐", "pexmora.hours.2", 7200},
    {3, "5小时面试时长", "多轮面试更从容", "89.90", "超值", "pexmora.hours.5", 18000},
    {4, "10小时面试时长", "求职季全程陪伴", "159.90", "最划算", "pexmora.hours.10", 36000},
};

std::int64_t integerOf(const nlohmann::json& body, const char* key, std::int64_t fallback) {
    if (!body.is_object() || !body.contains(key)) return fallback;
    const auto& value = body[key];
    if (value.is_number_integer()) return value.get<std::int64_t>();
    if (value.is_string()) {
        try {
            return std::stoll(value.get<std::string>());
        } catch (...) {
            return fallback;
        }
    }
    return fallback;
}

std::string textOf(const nlohmann::json& body, const char* key) {
    if (!body.is_object() || !body.contains(key)) return {};
    const auto& value = body[key];
    return value.is_string() ? value.get<std::string>() : value.is_number() ? value.dump() : "";
}

// Newest first, one page of at most `size` records.
template <typename Record, typename ToJson>
nlohmann::json page(const std::vector<Record>& records, const Call& call, ToJson toJson) {
    auto number = [&](const char* name, std::int64_t fallback) {
        const auto text = call.queryValue(name);
        if (!text || text->empty() || text->size() > 6 ||
            text->find_first_not_of("0123456789") != std::string::npos) {
            return fallback;
        }
        return std::max<std::int64_t>(1, std::stoll(*text));
    };
    const std::int64_t pageNumber = number("page_num", 1);
    const std::int64_t pageSize = number("page_size", 20);
    nlohmann::json list = nlohmann::json::array();
    const auto total = static_cast<std::int64_t>(records.size());
    for (std::int64_t i = (pageNumber - 1) * pageSize; i < std::min(total, pageNumber * pageSize);
         ++i) {
        list.push_back(toJson(records[static_cast<std::size_t>(total - 1 - i)]));
    }
    return {{"data", list}, {"total", total}};
}

constexpr std::int64_t kOpenOrder = 1;
constexpr std::int64_t kPaidOrder = 2;
constexpr std::int64_t kQrPayMethods[] = {4, 5};  // WeChat, Alipay

const Goods* findGoods(std::int64_t id) {
    for (const Goods& goods : kGoods) {
        if (goods.id == id) return &goods;
    }
    return nullptr;
}

// Marks an open QR order paid and credits its minutes; paying twice credits once.
void payOrder(Account& account, OrderRecord& order) {
    if (order.payStatus != kOpenOrder) return;
    order.payStatus = kPaidOrder;
    order.payAt = isoTimeNow();
    if (const Goods* goods = findGoods(order.goodsId)) {
        account.timePackage += goods->seconds;
        account.totalTimePackage += goods->seconds;
    }
}

OrderRecord* findOrder(Account& account, const std::string& orderNo) {
    auto order = std::find_if(account.orders.begin(), account.orders.end(),
                              [&](const OrderRecord& r) { return r.orderNo == orderNo; });
    return order == account.orders.end() ? nullptr : &*order;
}

}  // namespace

void registerBillingPaths(StandinService& service) {
    registerOrderPaths(service);
    StandinState& state = service.state();

    service.addApiPath("POST", "/consume/start", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            Account& account = data.accounts.at(*phone);
            if (account.timePackage <= 0) return Reply::error(1005, "余额不足");
            ConsumeRecord record;
            record.id = StandinState::nextId(data, "C");
            record.createdAt = isoTimeNow();
            account.consumes.push_back(record);
            return Reply::ok(record.id);
        });
    });

    service.addApiPath("POST", "/consume/update_consume", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            Account& account = data.accounts.at(*phone);
            const std::string id = textOf(call.json, "consume_id");
            const std::int64_t status = integerOf(call.json, "status", 0);
            auto record = std::find_if(account.consumes.begin(), account.consumes.end(),
                                       [&](const ConsumeRecord& r) { return r.id == id; });
            if (record == account.consumes.end() || !record->open) {
                return Reply::error(1004, "订单不存在");
            }
            if (status == 2) {
                record->open = false;
                return Reply::ok();
            }
            if (status != 1) return Reply::error(1, "参数错误");
            if (account.timePackage <= 0) return Reply::error(1005, "余额不足");
            const std::int64_t charged = std::min(kReportSeconds, account.timePackage);
            account.timePackage -= charged;
            record->timePackage += charged;
            record->duration += charged;
            return Reply::ok();
        });
    });

    service.addApiPath("GET", "/consume/page", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            return Reply::ok(page(data.accounts.at(*phone).consumes, call, [](const auto& r) {
                return nlohmann::json{{"function", r.function},
                                      {"time_package", r.timePackage},
                                      {"duration", r.duration},
                                      {"created_at", r.createdAt}};
            }));
        });
    });

    service.addApiPath("GET", "/order/page", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            return Reply::ok(page(data.accounts.at(*phone).orders, call, [](const auto& r) {
                return nlohmann::json{{"order_no", r.orderNo},     {"currency", r.currency},
                                      {"pay_method", r.payMethod}, {"pay_at", r.payAt},
                                      {"pay_status", r.payStatus}, {"goods_name", r.goodsName},
                                      {"pay_money", r.payMoney},   {"created_at", r.createdAt}};
            }));
        });
    });

    service.addApiPath("GET", "/goods/list", [](const Call&) {
        nlohmann::json list = nlohmann::json::array();
        for (const Goods& goods : kGoods) {
            list.push_back({{"ID", goods.id},
                            {"intro", goods.intro},
                            {"goods_name", goods.name},
                            {"price", goods.price},
                            {"label", goods.label},
                            {"currency_cn", "¥"},
                            {"apple_id", goods.productId}});
        }
        return Reply::ok(list);
    });

    // An App Store receipt for an order made earlier; a second receipt for the same order is
    // refused with the service's "小票重复验证".
    service.addApiPath("POST", "/order/iap", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            const std::string orderNo = textOf(call.json, "order_no");
            if (orderNo.empty()) return Reply::error(1, "订单号为空");
            if (textOf(call.json, "receipt_data").empty()) return Reply::error(1, "收据无效");
            Account& account = data.accounts.at(*phone);
            auto order = std::find_if(account.orders.begin(), account.orders.end(),
                                      [&](const OrderRecord& r) { return r.orderNo == orderNo; });
            if (order == account.orders.end()) return Reply::error(1004, "订单不存在");
            if (order->receiptVerified) return Reply::error(1006, "小票重复验证");
            order->receiptVerified = true;
            order->payStatus = 1;
            order->payAt = isoTimeNow();
            for (const Goods& goods : kGoods) {
                if (order->goodsName == goods.name) {
                    account.timePackage += goods.seconds;
                    account.totalTimePackage += goods.seconds;
                }
            }
            return Reply::ok(nullptr, "验证成功");
        });
    });
}

// QR payments: an order whose payment address is a page of the stand-in; opening that page
// (scanning the code in a test or by hand) pays the order.
void registerOrderPaths(StandinService& service) {
    StandinState& state = service.state();

    service.addApiPath("POST", "/order/create", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            const Goods* goods = findGoods(integerOf(call.json, "goods_id", 0));
            if (!goods) return Reply::error(1, "商品不存在");
            const std::int64_t method = integerOf(call.json, "pay_method", 0);
            const bool qr = std::find(std::begin(kQrPayMethods), std::end(kQrPayMethods), method) !=
                            std::end(kQrPayMethods);
            if (!qr && method != 1) return Reply::error(1, "支付方式错误");
            OrderRecord order;
            order.orderNo = StandinState::nextId(data, "PX");
            order.payMethod = method;
            order.payStatus = kOpenOrder;
            order.goodsId = goods->id;
            order.goodsName = goods->name;
            order.payMoney = goods->price;
            order.createdAt = isoTimeNow();
            data.accounts.at(*phone).orders.push_back(order);
            // An App Store order is answered with its number alone.
            if (!qr) return Reply::ok(order.orderNo);
            return Reply::ok({{"order_no", order.orderNo},
                              {"code_url", originOf(call) + "/pay/qr/" + order.orderNo}});
        });
    });

    service.addApiPath("GET", "/order/status/*", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            Account& account = data.accounts.at(*phone);
            OrderRecord* order = findOrder(account, call.rest);
            if (!order) return Reply::error(1004, "订单不存在");
            ++order->statusPolls;
            if (data.autoPayAfterPolls > 0 && order->statusPolls >= data.autoPayAfterPolls) {
                payOrder(account, *order);
            }
            return Reply::ok(order->payStatus);
        });
    });

    service.addPath("GET", "/pay/qr/*", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            for (auto& [phone, account] : data.accounts) {
                if (OrderRecord* order = findOrder(account, call.rest)) {
                    payOrder(account, *order);
                    return Reply::text(200, "<html><body>支付成功</body></html>",
                                       "text/html; charset=utf-8");
                }
            }
            return Reply::text(404, "<html><body>订单不存在</body></html>",
                               "text/html; charset=utf-8");
        });
    });
}

}  // namespace pex::standin
