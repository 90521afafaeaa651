#pragma once
// The purchase page ("充值"): the minute packages on sale ("/goods/list", the second one
// chosen at first, the only one when there is one), the product description and purchase
// notes, the payment method (WeChat or Alipay) and the buy control. Buying asks the service to
// create an order ("/order/create"), shows its payment address as a QR code in a centred
// pop-up and polls the order until it is paid (pop-up closed, "订单支付成功"), refunded or
// timed out. The page stores nothing; everything it shows comes from the service.
#include <QPointer>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Tools/BaseViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/storekit/StoreProduct.h"
#include "service/RechargeModel.h"

namespace pex {

class CustomButton;
class MYCenterPopView;
class MyTableView;
class OrderStatusPoller;
class PayOptionGroupView;
class PayQRCodeView;
class RechargeCellView;
class RechargeDescribeView;

class PurchaseViewController : public BaseViewController {
    Q_OBJECT
  public:
    static constexpr double kPollingInterval = 3.0;
    static constexpr double kPollingTimeout = 300.0;
    static constexpr int kRowHeight = 75;
    static constexpr int kListWidth = 370;
    static constexpr int kDescribeHeight = 248;
    // Payment method codes of "/order/create".
    static constexpr int kWeChatPay = 4;
    static constexpr int kAlipay = 5;
    static constexpr int kAppStorePay = 1;

    explicit PurchaseViewController(QObject* parent = nullptr);
    ~PurchaseViewController() override;

    // The App Store products whose information the page checks.
    const std::set<std::string> productIds;

    // Asks the service for the packages on sale; a list reply replaces them.
    void loadGoods();
    // Logs what the store knows of `productIds`.
    void checkProductsInfo();
    // "InterviewTypeNotification": an integer "type" in the user info reloads the packages.
    void handleMyNotification(const Notification& notification);
    // The table's selection changed: marks the selected package and makes it the one bought.
    void selectRechargeModel();
    // The buy control's click.
    void buyTap();
    void createOrder();
    void handleOrderCreated(std::optional<bool> failed, const std::optional<nlohmann::json>& reply,
                            int payMethod);
    // The QR pop-up's close control: ends polling and makes buying possible again.
    void closeQRPayment();
    // The App Store payment (method 1, which no payment option offers): the purchase's result
    // and the receipt upload's.
    void handlePurchaseResult(const PurchaseResult& result, const std::string& orderNo);
    void handleReceiptUploadResult(bool success, const std::optional<std::string>& message,
                                   const Purchase& purchase, const std::string& orderNo);

    // State and views, for tests and the gallery.
    int payIndex() const { return pay_Index_; }
    bool isButtonEnabled() const { return isButtonEnabled_; }
    const std::string& orderNo() const { return orderNo_; }
    const std::vector<RechargeModel::Ref>& rechargeModels() const { return rechargeModels_; }
    const RechargeModel::Ref& selectModel() const { return selectModel_; }
    const std::shared_ptr<OrderStatusPoller>& poller() const { return poller_; }
    MyTableView* tableView() const { return tableView_; }
    RechargeDescribeView* describeView() const { return describeView_; }
    PayOptionGroupView* payGroup() const { return payGroup_; }
    CustomButton* buyBtn();
    PayQRCodeView* qrCodeView() const;  // the QR pop-up on screen, if any

  protected:
    void setupUI() override;
    void setupConstraints() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void handleGoodsReply(std::optional<bool> failed, const std::optional<nlohmann::json>& reply);
    QWidget* viewForRow(int row, QWidget* reusable);
    void buyFromAppStore(const nlohmann::json& reply);
    void startPolling();
    void closeQRPopup();
    void layoutPage();

    // A list once received is kept across page switches; until then every showing asks.
    bool goodsLoaded_ = false;
    int goodsRequestsInFlight_ = 0;
    int pay_Index_ = 0;
    std::shared_ptr<OrderStatusPoller> poller_;
    std::string orderNo_;
    QPointer<CustomButton> buyBtn_;
    bool isButtonEnabled_ = true;
    std::vector<RechargeModel::Ref> rechargeModels_;
    RechargeModel::Ref selectModel_;
    MyTableView* tableView_ = nullptr;
    RechargeDescribeView* describeView_ = nullptr;
    PayOptionGroupView* payGroup_ = nullptr;
    QPointer<MYCenterPopView> qrOverlay_;
    ScopedObserver interviewTypeObserver_;
};

}  // namespace pex
