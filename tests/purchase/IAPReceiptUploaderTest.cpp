// The pending-order list in the settings store, the find rule, and the receipt upload to the
// stand-in service with the receipt from the in-memory store.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/storekit/InMemoryStoreBackend.h"
#include "purchase/PurchaseFixture.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Fault;

IAPReceiptUploader& uploader() {
    return IAPReceiptUploader::shared();
}

std::string storedText() {
    const auto data = UserDefaults::standard().data(SettingsKeys::pendingIAPOrders);
    return data ? std::string(data->begin(), data->end()) : "<none>";
}

void storeData(const std::string& text) {
    UserDefaults::standard().setData(SettingsKeys::pendingIAPOrders,
                                     Bytes(text.begin(), text.end()));
}

class PendingOrders : public test::IsolatedTest {};

TEST_F(PendingOrders, SaveAndLoadRoundTripInTheStoredForm) {
    EXPECT_EQ(uploader().pendingOrdersKey, "PendingIAPOrders");
    const std::vector<PendingIAPOrder> orders = {
        {"A1", "p.60", "T1"}, {"B2", "p.120", std::nullopt}, {"C3", "p.60", ""}};
    uploader().savePendingOrders(orders);
    EXPECT_EQ(uploader().loadPendingOrders(), orders);
    EXPECT_EQ(storedText(), R"([{"orderNo":"A1","productId":"p.60","transactionId":"T1"},)"
                            R"({"orderNo":"B2","productId":"p.120"},)"
                            R"({"orderNo":"C3","productId":"p.60","transactionId":""}])");

    uploader().savePendingOrders({});
    EXPECT_FALSE(UserDefaults::standard().contains("PendingIAPOrders"));
    EXPECT_TRUE(uploader().loadPendingOrders().empty());
}

TEST_F(PendingOrders, ReadsAnyKeyOrderIgnoresOtherKeysAndTakesNullAsNoTransaction) {
    storeData(R"([{"productId":"p.60","extra":1,"transactionId":null,"orderNo":"A1"}])");
    EXPECT_EQ(uploader().loadPendingOrders(),
              (std::vector<PendingIAPOrder>{{"A1", "p.60", std::nullopt}}));
}

TEST_F(PendingOrders, UnreadableDataReadsAsNoOrdersAndStaysStored) {
    const std::vector<std::string> unreadable = {
        "not json",
        R"({"orderNo":"A1","productId":"p.60"})",
        "[{\"orderNo\":\"A\xff\",\"productId\":\"p.60\"}]",
    };
    for (const std::string& text : unreadable) {
        SCOPED_TRACE(text);
        storeData(text);
        EXPECT_TRUE(uploader().loadPendingOrders().empty());
        EXPECT_FALSE(uploader().findPendingOrder("p.60", std::nullopt));
        EXPECT_EQ(storedText(), text);
    }
    // A text in place of data is not the list either.
    UserDefaults::standard().set("PendingIAPOrders", R"([{"orderNo":"A1","productId":"p.60"}])");
    EXPECT_TRUE(uploader().loadPendingOrders().empty());
}

TEST_F(PendingOrders, AnOrderThatCannotBeReadCostsOnlyItself) {
    const std::vector<std::string> oneBad = {
        R"([{"orderNo":"A1","productId":"p.60"},{"orderNo":"B2"}])",
        R"([{"orderNo":7,"productId":"p.60"},{"orderNo":"A1","productId":"p.60"}])",
        R"([{"orderNo":"X","productId":"p.60","transactionId":42},{"orderNo":"A1","productId":"p.60"}])",
        R"([{"orderNo":"A1","productId":"p.60"}, "x"])",
    };
    for (const std::string& text : oneBad) {
        SCOPED_TRACE(text);
        storeData(text);
        EXPECT_EQ(uploader().loadPendingOrders(),
                  (std::vector<PendingIAPOrder>{{"A1", "p.60", std::nullopt}}));
        EXPECT_EQ(uploader().findPendingOrder("p.60", std::nullopt)->orderNo, "A1");
        EXPECT_EQ(storedText(), text) << "reading changes nothing";
    }
}

TEST_F(PendingOrders, AValueThatCannotBeReadIsKeptAsideBeforeItIsWrittenOver) {
    const std::string partly = R"([{"orderNo":"A1","productId":"p.60"},{"orderNo":"B2"}])";
    storeData(partly);
    uploader().addPendingOrder("C3", "p.120", std::nullopt);
    EXPECT_EQ(uploader().loadPendingOrders(),
              (std::vector<PendingIAPOrder>{{"A1", "p.60", std::nullopt},
                                            {"C3", "p.120", std::nullopt}}));
    // Then a value that is not the list at all, removed by the next change.
    UserDefaults::standard().set("PendingIAPOrders", "garbage");
    uploader().removePendingOrder("A1");
    EXPECT_FALSE(UserDefaults::standard().contains("PendingIAPOrders"));

    const auto kept = UserDefaults::standard().object(IAPReceiptUploader::kUnreadableOrdersKey);
    ASSERT_TRUE(kept.has_value());
    ASSERT_TRUE(kept->is_array());
    ASSERT_EQ(kept->size(), 2u);
    EXPECT_EQ((*kept)[0], UserDefaults::dataValue(Bytes(partly.begin(), partly.end())));
    EXPECT_EQ((*kept)[1], "garbage");

    // A readable list is written over without keeping anything.
    uploader().addPendingOrder("D4", "p.60", std::nullopt);
    uploader().addPendingOrder("E5", "p.60", std::nullopt);
    EXPECT_EQ(UserDefaults::standard().object(IAPReceiptUploader::kUnreadableOrdersKey)->size(),
              2u);
}

TEST_F(PendingOrders, AddReplacesAtTheEndAndRemoveDropsTheKeyWithTheLastOrder) {
    uploader().addPendingOrder("", "p.60", std::nullopt);
    uploader().addPendingOrder("A", "", std::nullopt);
    EXPECT_FALSE(UserDefaults::standard().contains("PendingIAPOrders"));

    uploader().addPendingOrder("A", "p.60", std::nullopt);
    uploader().addPendingOrder("B", "p.120", std::nullopt);
    uploader().addPendingOrder("A", "p.60", "T1");
    EXPECT_EQ(uploader().loadPendingOrders(),
              (std::vector<PendingIAPOrder>{{"B", "p.120", std::nullopt}, {"A", "p.60", "T1"}}));

    const std::string before = storedText();
    uploader().removePendingOrder("nope");
    EXPECT_EQ(storedText(), before);
    uploader().removePendingOrder("B");
    uploader().removePendingOrder("A");
    EXPECT_FALSE(UserDefaults::standard().contains("PendingIAPOrders"));
}

TEST_F(PendingOrders, AListThatCannotBeEncodedLeavesThePreviousValue) {
    uploader().savePendingOrders({{"A1", "p.60", std::nullopt}});
    const std::string before = storedText();
    uploader().savePendingOrders({{"B2", "p.\xff", std::nullopt}});
    EXPECT_EQ(storedText(), before);
}

TEST_F(PendingOrders, FindPrefersTheTransactionThenTheOnlyOrderOfTheProduct) {
    struct Case {
        const char* name;
        std::vector<PendingIAPOrder> orders;
        std::string productId;
        std::optional<std::string> transactionId;
        std::optional<std::string> found;  // order number
    };
    const std::vector<Case> cases = {
        {"first order with the transaction, whatever its product",
         {{"A", "p.60", "T9"}, {"B", "p.120", "T1"}, {"C", "p.60", "T1"}},
         "p.60",
         "T1",
         "B"},
        {"unknown transaction falls back to the only unbound order of the product",
         {{"A", "p.60", std::nullopt}, {"B", "p.120", std::nullopt}},
         "p.60",
         "T1",
         "A"},
        {"an order bound to another transaction is never the fallback",
         {{"A", "p.60", "T9"}, {"B", "p.120", std::nullopt}},
         "p.60",
         "T1",
         std::nullopt},
        {"orders without a transaction are skipped, then found by product",
         {{"A", "p.60", std::nullopt}},
         "p.60",
         "T1",
         "A"},
        {"two unbound orders of the product and no transaction match: none",
         {{"A", "p.60", std::nullopt}, {"B", "p.60", std::nullopt}},
         "p.60",
         "T1",
         std::nullopt},
        {"the one unbound order beside a bound one of the product",
         {{"A", "p.60", std::nullopt}, {"B", "p.60", "T9"}},
         "p.60",
         "T1",
         "A"},
        {"no transaction given: the only unbound order of the product",
         {{"A", "p.120", "T9"}, {"B", "p.120", std::nullopt}},
         "p.120",
         std::nullopt,
         "B"},
        {"no transaction given, two orders of the product: none",
         {{"A", "p.60", "T9"}, {"B", "p.60", "T8"}},
         "p.60",
         std::nullopt,
         std::nullopt},
        {"no order of the product: none",
         {{"A", "p.60", std::nullopt}},
         "p.300",
         std::nullopt,
         std::nullopt},
        {"an empty transaction identifier is one",
         {{"A", "p.60", ""}, {"B", "p.60", "T9"}},
         "p.other",
         "",
         "A"},
        {"no orders: none", {}, "p.60", "T1", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uploader().savePendingOrders(c.orders);
        const auto order = uploader().findPendingOrder(c.productId, c.transactionId);
        EXPECT_EQ(order ? std::optional<std::string>(order->orderNo) : std::nullopt, c.found);
        EXPECT_EQ(uploader().loadPendingOrders(), c.orders);  // finding changes nothing
    }
}

class ReceiptUpload : public test::PurchaseFixture {
  protected:
    ReceiptUpload() {
        StoreKit::shared().setBackend(store_);
        store_->setReceipt(ReceiptResult::success({'r', 'c', 'p', 't', 0xff}));
    }

    struct Outcome {
        bool success = false;
        std::optional<std::string> message;
    };
    Outcome upload(const std::string& orderNo) {
        std::optional<Outcome> outcome;
        bool returned = false;
        uploader().uploadReceipt(orderNo, [&](bool success, std::optional<std::string> message) {
            EXPECT_TRUE(returned) << "completed from inside the call";
            EXPECT_TRUE(MainQueue::isMainThread());
            EXPECT_FALSE(outcome) << "completed twice";
            outcome = Outcome{success, std::move(message)};
        });
        returned = true;
        EXPECT_TRUE(test::runMainUntil([&] { return outcome.has_value(); }));
        return outcome.value_or(Outcome{false, "<no completion>"});
    }

    std::shared_ptr<InMemoryStoreBackend> store_ = std::make_shared<InMemoryStoreBackend>();
};

TEST_F(ReceiptUpload, AnAcceptedReceiptSucceedsWithoutAMessage) {
    addServiceOrder("PX1");
    const Outcome outcome = upload("PX1");
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(outcome.message, std::nullopt);

    const auto requests = service_.requests("/order/iap");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].json(), (json{{"order_no", "PX1"}, {"receipt_data", "cmNwdP8="}}));
    const auto fetches = store_->receiptFetches();
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_TRUE(fetches[0].refresh);

    // The same receipt again: the service's own refusal comes through as the message.
    const Outcome again = upload("PX1");
    EXPECT_FALSE(again.success);
    EXPECT_EQ(again.message, "小票重复验证");
}

TEST_F(ReceiptUpload, AnEmptyOrderNumberFailsWithoutFetchingOrSending) {
    const Outcome outcome = upload("");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message, "订单号为空");
    EXPECT_TRUE(store_->receiptFetches().empty());
    EXPECT_TRUE(service_.requests("/order/iap").empty());
}

TEST_F(ReceiptUpload, EachReceiptFailureHasItsMessageAndNothingIsSent) {
    using Kind = ReceiptError::Kind;
    const std::vector<std::pair<ReceiptResult, std::string>> cases = {
        {ReceiptResult::failure(Kind::requestFailed, "网络连接已中断"), "网络连接已中断"},
        {ReceiptResult::failure(Kind::requestFailed, ""), "收据请求失败"},
        {ReceiptResult::failure(Kind::undecodable), "收据解析失败"},
        {ReceiptResult::failure(Kind::invalid), "收据无效"},
        {ReceiptResult::failure(Kind::noReceiptData), "收据获取失败，请检查 Apple ID"},
        {ReceiptResult::failure(Kind::noRemoteData), "未获取到收据数据"},
    };
    for (const auto& [result, message] : cases) {
        SCOPED_TRACE(message);
        store_->setReceipt(result);
        const Outcome outcome = upload("PX1");
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.message, message);
    }
    EXPECT_TRUE(service_.requests("/order/iap").empty());
}

TEST_F(ReceiptUpload, ServiceAndTransportFailuresCarryTheBestMessageThereIs) {
    const std::vector<std::pair<Fault, std::string>> cases = {
        {Fault::serviceError(1004, "订单不存在"), "订单不存在"},
        {Fault::serviceError(7, std::nullopt), "验证失败"},
        {Fault::httpStatus(500, R"({"message":"服务繁忙"})"), "服务繁忙"},
        {Fault::httpStatus(500, R"({"code":1,"message":null})"), "验证失败"},
        {Fault::notJson(), "服务器返回的数据不是有效的 JSON"},
        {Fault::emptyBody(), "服务器返回了空数据"},
    };
    for (const auto& [fault, message] : cases) {
        SCOPED_TRACE(message);
        service_.setFault("/order/iap", fault);
        const Outcome outcome = upload("PX1");
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.message, message);
    }
    // A dropped connection: the transfer's own description.
    service_.setFault("/order/iap", Fault::droppedConnection());
    const Outcome dropped = upload("PX1");
    EXPECT_FALSE(dropped.success);
    ASSERT_TRUE(dropped.message);
    EXPECT_FALSE(dropped.message->empty());
}

}  // namespace
}  // namespace pex
