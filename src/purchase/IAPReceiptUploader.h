#pragma once
// Keeps the list of pending App Store orders and uploads the application's receipt for an
// order to the service. The list lives only in the settings store ("PendingIAPOrders", a JSON
// array stored as data): every operation reads it afresh and every change writes it back at
// once. Everything is called on the main thread.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/storekit/StoreTransaction.h"
#include "purchase/PendingIAPOrder.h"

namespace pex {

class IAPReceiptUploader {
  public:
    using UploadCompletion = std::function<void(bool success, std::optional<std::string> message)>;

    static constexpr const char* kUploadPath = "/order/iap";

    static IAPReceiptUploader& shared();

    // The settings key of the list.
    const std::string pendingOrdersKey;
    // Where a stored value that could not be read (wholly or in part) is kept before the list
    // is written over it: an array of those values, oldest first.
    static constexpr const char* kUnreadableOrdersKey = "PendingIAPOrders.unreadable";

    // The stored list; empty when missing or unreadable. Orders that cannot be read are left
    // out (and logged); the others are read. Reading never changes what is stored.
    std::vector<PendingIAPOrder> loadPendingOrders() const;
    // Stores the list; an empty list removes the key. A list that cannot be encoded is not
    // written and the previous value stays. A previous value that is not wholly readable is
    // first kept under kUnreadableOrdersKey.
    void savePendingOrders(const std::vector<PendingIAPOrder>& orders);

    // Records an order (replacing, at the end of the list, any order with its number). Nothing
    // happens when the order number or the product identifier is empty.
    void addPendingOrder(const std::string& orderNo, const std::string& productId,
                         const std::optional<std::string>& transactionId);
    // Forgets every order with that number; the list is written back even when none was.
    void removePendingOrder(const std::string& orderNo);

    // With a transaction identifier (an empty one counts), the first order carrying that
    // identifier; otherwise, or when none carries it, the only order for the product among
    // those not bound to a transaction yet (an order bound to one transaction is never credited
    // with another's receipt). None when several or no such orders are for the product.
    std::optional<PendingIAPOrder> findPendingOrder(
        const std::string& productId, const std::optional<std::string>& transactionId) const;

    // Fetches the receipt (always refreshed) and posts it with the order number to the
    // service. The completion runs once, on the main queue after the call has returned, with
    // (true, none) when the service accepted the receipt and (false, message) otherwise; it is
    // not called when the service ends the login (HTTP 401).
    void uploadReceipt(const std::string& orderNo, UploadCompletion completion);

    // What an upload's outcome means for the purchase it was for, the same wherever the upload
    // was started. Accepted: the transaction is finished when it still needs it and the order
    // forgotten. Refused as a receipt already verified ("小票重复验证"): the service credited it
    // before, so the transaction is finished and the order forgotten (a kept order would match
    // every later purchase of the product and block its upload). Any other failure keeps both,
    // for the completion at the next start.
    enum class Settlement { accepted, alreadyVerified, kept };
    Settlement settleUpload(bool success, const std::optional<std::string>& message,
                            const Purchase& purchase, const std::string& orderNo);

  private:
    IAPReceiptUploader();
    void keepAsideIfUnreadable();
};

}  // namespace pex
