#include "Page/Purchase/PurchaseViewController.h"

#include <QEvent>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <algorithm>

#include "Page/Purchase/MyTableView.h"
#include "Page/View/PayOptionGroupView.h"
#include "Page/View/PayQRCodeView.h"
#include "Page/View/RechargeCellView.h"
#include "Page/View/RechargeDescribeView.h"
#include "Page/ViewAppearance.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/CustomButton.h"
#include "Tools/HUD.h"
#include "Tools/NotificationNames.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/storekit/StoreKit.h"
#include "purchase/IAPReceiptUploader.h"
#include "purchase/OrderStatusPoller.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"
#include "service/LenientJson.h"
#include "service/ReplyMapper.h"

namespace pex {

namespace {

constexpr int kListTop = 10;
constexpr int kDescribeTop = 20;
constexpr int kDescribeOverlap = 10;
constexpr int kDescribeRight = 11;
constexpr int kBuyLeft = 6;
constexpr int kBuyRight = 16;
constexpr int kBuyBottom = 20;
constexpr int kBuyHeight = 40;
constexpr int kGroupGap = 11;

// A price is a plain decimal number ("39.90", "39") above zero.
bool hasPositivePrice(const RechargeModel& model) {
    if (!model.price) return false;
    const QString text = QString::fromStdString(*model.price).trimmed();
    static const QRegularExpression decimal(QStringLiteral("^[0-9]+(\\.[0-9]+)?$"));
    if (!decimal.match(text).hasMatch()) return false;
    return text.toDouble() > 0;
}

std::string stringField(const nlohmann::json& reply, const char* key) {
    const nlohmann::json& value = lenient::field(lenient::field(reply, "data"), key);
    return ReplyMapper::textFrom(value).value_or(std::string());
}

}  // namespace

PurchaseViewController::PurchaseViewController(QObject* parent)
    : BaseViewController(parent),
      productIds{"com.Talvoro.60min.mac",     "com.Talvoro.120min.mac",
                 "com.Talvoro.300min.mac",    "com.Talvoro.us.60min.mac",
                 "com.Talvoro.us.120min.mac", "com.Talvoro.us.300min.mac"},
      poller_(std::make_shared<OrderStatusPoller>(kPollingInterval, kPollingTimeout)),
      selectModel_(std::make_shared<RechargeModel>()) {
    setTitle(QStringLiteral("充值"));
}

PurchaseViewController::~PurchaseViewController() {
    // The poller's callbacks reach this page; no report may come after it is gone.
    poller_->stop();
    poller_->onSuccess = nullptr;
    poller_->onFailed = nullptr;
    poller_->onTimeout = nullptr;
}

CustomButton* PurchaseViewController::buyBtn() {
    if (!buyBtn_) {
        auto* button = new CustomButton;
        button->setLayerBackgroundColor(themeMainColor());
        button->setCornerRadius(10);
        button->titleLab()->setText(QStringLiteral("购买"));
        button->titleLab()->setFont(themeFont14());
        setTextColor(button->titleLab(), Color::grey(1));
        button->iconImg()->setHidden(true);
        ClickGestureRecognizer::attach(button, [this](ClickGestureRecognizer&) { buyTap(); });
        buyBtn_ = button;
    }
    return buyBtn_.data();
}

void PurchaseViewController::setupUI() {
    BaseViewController::setupUI();
    QWidget* page = view();

    tableView_ = new MyTableView;
    tableView_->rowHeight = kRowHeight;
    tableView_->setStyleSheet(tableView_->styleSheet() +
                              QStringLiteral(" QListWidget { background: #F0FBF9; }"));
    tableView_->numberOfRows = [this] { return static_cast<int>(rechargeModels_.size()); };
    tableView_->viewForRow = [this](int row, QWidget* reusable) {
        return viewForRow(row, reusable);
    };
    tableView_->selectionDidChange = [this] { selectRechargeModel(); };
    addSubview(page, tableView_);

    describeView_ = new RechargeDescribeView;
    addSubview(page, describeView_);
    addSubview(page, buyBtn());

    page->installEventFilter(this);
    QPointer<PurchaseViewController> weak(this);
    // Removed with the page, so a notification never reaches a page that is gone.
    interviewTypeObserver_ = ScopedObserver(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(
            NotificationNames::interviewType, nullptr, [weak](const Notification& notification) {
                if (weak) weak->handleMyNotification(notification);
            }));
    // The goods are loaded when the page is first placed (and again on
    // "InterviewTypeNotification"), not on every page switch: a reload marks the offered
    // package again, which would undo the user's choice. Until a list has arrived, each
    // showing asks again (unless a request is still out), so one failed load is not for ever.
    ViewAppearance::observe(page, [weak] {
        if (!weak) return;
        if (!weak->goodsLoaded_ && weak->goodsRequestsInFlight_ == 0) weak->loadGoods();
        weak->checkProductsInfo();
    });
}

void PurchaseViewController::setupConstraints() {
    payGroup_ = new PayOptionGroupView;
    addSubview(view(), payGroup_);
    const QString selected = QStringLiteral("pay_select");
    const QString unselected = QStringLiteral("pay_unselect");
    payGroup_->addOption(QStringLiteral("weixin_pay"), QStringLiteral("微信支付"),
                         QStringLiteral("使用微信支付"), selected, unselected);
    payGroup_->addOption(QStringLiteral("zhifubao_pay"), QStringLiteral("支付宝支付"),
                         QStringLiteral("使用支付宝支付"), selected, unselected);
    payGroup_->selectOption(pay_Index_);
    // Set only now, so the initial selection does not reach the page.
    QPointer<PurchaseViewController> weak(this);
    payGroup_->onSelectionChanged = [weak](int index, PayOptionView*) {
        consoleLog("支付类型 选中了第 " + std::to_string(index) + " 个");
        if (weak) weak->pay_Index_ = index;
    };
    layoutPage();
}

bool PurchaseViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewIfLoaded() && event->type() == QEvent::Resize) layoutPage();
    return BaseViewController::eventFilter(watched, event);
}

void PurchaseViewController::layoutPage() {
    QWidget* page = viewIfLoaded();
    if (!page || !payGroup_) return;
    const int width = page->width();
    const int height = page->height();
    tableView_->setGeometry(0, kListTop, kListWidth, std::max(0, height - 2 * kListTop));
    const int describeLeft = kListWidth - kDescribeOverlap;
    describeView_->setGeometry(describeLeft, kDescribeTop,
                               std::max(0, width - kDescribeRight - describeLeft), kDescribeHeight);
    const int buyLeft = describeLeft + kBuyLeft;
    const int buyWidth = std::max(0, width - kBuyRight - buyLeft);
    buyBtn()->setGeometry(buyLeft, height - kBuyBottom - kBuyHeight, buyWidth, kBuyHeight);
    payGroup_->setGeometry(buyLeft, kDescribeTop + kDescribeHeight + kGroupGap, buyWidth,
                           payGroup_->contentHeight());
}

QWidget* PurchaseViewController::viewForRow(int row, QWidget* reusable) {
    auto* cell = qobject_cast<RechargeCellView*>(reusable);
    if (!cell) cell = new RechargeCellView;
    cell->rechargeModel = rechargeModels_[static_cast<std::size_t>(row)];
    cell->configure();
    return cell;
}

void PurchaseViewController::loadGoods() {
    ++goodsRequestsInFlight_;
    QPointer<PurchaseViewController> weak(this);
    HttpDatas::shared().request(
        "/goods/list", HTTPMethod::Get, std::nullopt, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (weak) weak->handleGoodsReply(failed, reply);
        });
}

void PurchaseViewController::handleGoodsReply(std::optional<bool> failed,
                                              const std::optional<nlohmann::json>& reply) {
    --goodsRequestsInFlight_;
    // Failures are shown by the service client; the list stays as it was.
    if (failed != false || !reply) return;
    auto models = ReplyMapper::mapList<RechargeModel::Ref>(lenient::field(*reply, "data"));
    if (!models) return;
    goodsLoaded_ = true;
    // A package without a positive price cannot be paid for: it is not offered.
    std::erase_if(*models,
                  [](const RechargeModel::Ref& model) { return !hasPositivePrice(*model); });
    rechargeModels_ = std::move(*models);
    // The second package is the one offered first; a single package is the only choice.
    int offered = -1;
    if (!rechargeModels_.empty()) {
        offered = rechargeModels_.size() >= 2 ? 1 : 0;
        rechargeModels_[static_cast<std::size_t>(offered)]->isSelected = true;
        selectModel_ = rechargeModels_[static_cast<std::size_t>(offered)];
    }
    tableView_->reloadData();
    // The list's selection follows the marked row, so a click on any other row is a change
    // of selection again; setting it is no choice of the user's, so it is not reported.
    const QSignalBlocker quiet(tableView_);
    tableView_->selectRow(offered);
}

void PurchaseViewController::checkProductsInfo() {
    StoreKit::shared().retrieveProductsInfo(productIds, [](RetrieveResults results) {
        for (const StoreProduct& product : results.retrievedProducts) {
            consoleLog("💰 Product: " + product.localizedTitle +
                       ", price: " + product.localizedPrice.value_or(""));
        }
        for (const std::string& id : results.invalidProductIDs) {
            consoleLog("❌ Invalid product id: " + id);
        }
        if (results.error) consoleLog("⚠️ Error: " + *results.error);
    });
}

void PurchaseViewController::handleMyNotification(const Notification& notification) {
    const nlohmann::json& type = lenient::field(notification.userInfo, "type");
    if (!type.is_number_integer()) return;
    consoleLog("收到通知内容：" + std::to_string(type.get<std::int64_t>()));
    loadGoods();
}

void PurchaseViewController::selectRechargeModel() {
    const int selected = tableView_->selectedRow();
    if (selected >= 0) consoleLog("选中了：" + std::to_string(selected));
    for (std::size_t i = 0; i < rechargeModels_.size(); ++i) {
        const bool chosen = static_cast<int>(i) == selected;
        rechargeModels_[i]->isSelected = chosen;
        if (chosen) selectModel_ = rechargeModels_[i];
    }
    tableView_->reloadData();
}

void PurchaseViewController::buyTap() {
    createOrder();
}

void PurchaseViewController::createOrder() {
    if (!isButtonEnabled_) return;
    // Never an order for no package (goods id 0).
    if (rechargeModels_.empty()) {
        StatusHUD::showMessage(QStringLiteral("暂无可购买的套餐"), StatusHUDMode::error);
        return;
    }
    if (selectModel_->ID == 0) {
        StatusHUD::showMessage(QStringLiteral("请选择要购买的套餐"), StatusHUDMode::error);
        return;
    }
    HUD::show(QStringLiteral("Loading..."));
    isButtonEnabled_ = false;
    const int payMethod = pay_Index_ == 0 ? kWeChatPay : pay_Index_ == 1 ? kAlipay : kAppStorePay;
    QPointer<PurchaseViewController> weak(this);
    HttpDatas::shared().request(
        "/order/create", HTTPMethod::Post,
        nlohmann::json{{"goods_id", selectModel_->ID}, {"pay_method", payMethod}}, std::nullopt,
        [weak, payMethod](std::optional<bool> failed, std::optional<nlohmann::json> reply,
                          std::optional<std::string>) {
            if (weak) weak->handleOrderCreated(failed, reply, payMethod);
        });
}

void PurchaseViewController::handleOrderCreated(std::optional<bool> failed,
                                                const std::optional<nlohmann::json>& reply,
                                                int payMethod) {
    HUD::hide();
    if (failed != false || !reply) {
        isButtonEnabled_ = true;
        return;
    }
    if (payMethod == kAppStorePay) {
        buyFromAppStore(*reply);
        return;
    }
    const std::string codeUrl = stringField(*reply, "code_url");
    const std::string orderNo = stringField(*reply, "order_no");
    consoleLog("code_url: " + codeUrl);
    consoleLog("order_no: " + orderNo);
    // Without an address there is nothing to pay, and without a number nothing to poll.
    if (codeUrl.empty() || orderNo.empty()) {
        consoleLog("❌ 订单信息不完整，无法支付");
        StatusHUD::showMessage(QStringLiteral("订单创建失败，请重试"), StatusHUDMode::error);
        isButtonEnabled_ = true;
        return;
    }
    orderNo_ = orderNo;

    PayQRCodeView* card = PayQRCodeView::makeCard();
    card->configure(codeUrl, pay_Index_);
    QPointer<PurchaseViewController> weak(this);
    card->closeView = [weak] {
        if (weak) weak->closeQRPayment();
    };
    qrOverlay_ = MYCenterPopView::showInKeyWindow(card);
    if (!qrOverlay_) {
        // No window to show the code in: the user could not pay, so nothing is polled.
        consoleLog("❌ 无法显示支付二维码");
        isButtonEnabled_ = true;
        return;
    }
    startPolling();
}

void PurchaseViewController::startPolling() {
    QPointer<PurchaseViewController> weak(this);
    poller_->onSuccess = [weak] {
        consoleLog("订单支付成功 ✅");
        if (!weak) return;
        weak->closeQRPopup();
        weak->isButtonEnabled_ = true;
        StatusHUD::showMessage(QStringLiteral("订单支付成功"), StatusHUDMode::text);
    };
    poller_->onFailed = [](const std::string& message) {
        consoleLog("订单失败或取消 ❌，原因：" + message);
    };
    poller_->onTimeout = [] { consoleLog("订单状态超时未支付 ⏰"); };
    poller_->start(orderNo_);
}

void PurchaseViewController::closeQRPayment() {
    isButtonEnabled_ = true;
    closeQRPopup();
    poller_->stop();
}

void PurchaseViewController::closeQRPopup() {
    if (qrOverlay_) qrOverlay_->dismissAnimated();
    qrOverlay_.clear();
}

PayQRCodeView* PurchaseViewController::qrCodeView() const {
    return qrOverlay_ ? qobject_cast<PayQRCodeView*>(qrOverlay_->contentView()) : nullptr;
}

// The App Store branch: the order is recorded as pending before the store is asked, so that a
// purchase whose receipt never reached the service is completed at a later start.
void PurchaseViewController::buyFromAppStore(const nlohmann::json& reply) {
    const std::string orderNo =
        ReplyMapper::textFrom(lenient::field(reply, "data")).value_or(std::string());
    const std::string productId = selectModel_->apple_id.value_or(std::string());
    // A purchase that could never be credited (no order number) or that names no product is
    // not made: the user would pay the store for nothing.
    if (orderNo.empty() || productId.empty()) {
        consoleLog("❌ Purchase Failed: 订单号或商品为空");
        StatusHUD::showMessage(QStringLiteral("购买失败"), StatusHUDMode::text);
        isButtonEnabled_ = true;
        return;
    }
    StatusHUD::shared().show(QString(), StatusHUDMode::indeterminate);
    IAPReceiptUploader::shared().addPendingOrder(orderNo, productId, std::nullopt);
    QPointer<PurchaseViewController> weak(this);
    StoreKit::shared().purchaseProduct(productId, 1, false, [weak, orderNo](PurchaseResult result) {
        if (weak) weak->handlePurchaseResult(result, orderNo);
    });
    isButtonEnabled_ = true;
}

void PurchaseViewController::handlePurchaseResult(const PurchaseResult& result,
                                                  const std::string& orderNo) {
    if (!result.purchase) {
        StatusHUD::shared().hide(true);
        IAPReceiptUploader::shared().removePendingOrder(orderNo);
        consoleLog("❌ Purchase Failed: " + result.error.value_or(""));
        return;
    }
    const Purchase purchase = *result.purchase;
    consoleLog("✅ Purchase Success: " + purchase.productId);
    IAPReceiptUploader::shared().addPendingOrder(orderNo, purchase.productId,
                                                 purchase.transaction.transactionIdentifier);
    QPointer<PurchaseViewController> weak(this);
    IAPReceiptUploader::shared().uploadReceipt(
        orderNo, [weak, purchase, orderNo](bool success, std::optional<std::string> message) {
            if (weak) weak->handleReceiptUploadResult(success, message, purchase, orderNo);
        });
}

void PurchaseViewController::handleReceiptUploadResult(bool success,
                                                       const std::optional<std::string>& message,
                                                       const Purchase& purchase,
                                                       const std::string& orderNo) {
    StatusHUD::shared().hide(true);
    IAPReceiptUploader::shared().settleUpload(success, message, purchase, orderNo);
    if (success) {
        StatusHUD::showMessage(QStringLiteral("购买成功"), StatusHUDMode::text);
        return;
    }
    StatusHUD::showMessage(message ? QString::fromStdString(*message) : QStringLiteral("购买失败"),
                           StatusHUDMode::text);
}

}  // namespace pex
