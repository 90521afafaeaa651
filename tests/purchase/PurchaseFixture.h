#pragma once
// A signed-in client talking to the local stand-in service over HTTP on 127.0.0.1, with a
// fresh settings store and standard folders, and helpers for pending orders.
#include <string>
#include <vector>

#include "platform/foundation/MainQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/storekit/StoreKit.h"
#include "purchase/IAPReceiptUploader.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "standin-service/StandinState.h"
#include "support/SignedInClientTest.h"

namespace pex::test {

class PurchaseFixture : public SignedInClientTest {
  protected:
    PurchaseFixture() {
        HttpDatas::shared().setAlertPresenter(nullptr);
        StoreKit::shared().setBackend(nullptr);
    }
    ~PurchaseFixture() override {
        MainQueue::drain();
        StoreKit::shared().setBackend(nullptr);
    }

    // An order the service created for the account; `verified`: its receipt was accepted.
    void addServiceOrder(const std::string& orderNo, bool verified = false) {
        service_.state().with([&](standin::StandinState::Data& data) {
            standin::OrderRecord order;
            order.orderNo = orderNo;
            order.payStatus = 0;
            order.goodsName = "2小时面试时长";
            order.receiptVerified = verified;
            data.accounts.at(kPhone).orders.push_back(order);
            return 0;
        });
    }

    static std::vector<PendingIAPOrder> pending() {
        return IAPReceiptUploader::shared().loadPendingOrders();
    }
    static bool pendingKeyStored() {
        return UserDefaults::standard().contains(SettingsKeys::pendingIAPOrders);
    }
};

}  // namespace pex::test
