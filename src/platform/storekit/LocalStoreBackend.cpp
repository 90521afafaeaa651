#include "platform/storekit/LocalStoreBackend.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/DefaultsFileFormat.h"
#include "platform/foundation/StandardFolders.h"

namespace pex {

namespace {

using nlohmann::json;

// A hand-written store file is small; anything larger is refused rather than read into memory.
constexpr std::uintmax_t kMaxFileBytes = 8u << 20;

void logProblem(const std::filesystem::path& file, const std::string& problem) {
    std::fprintf(stderr, "StoreKit: %s: %s\n", file.c_str(), problem.c_str());
}

struct Document {
    enum class Status { missing, unreadable, malformed, ok };
    Status status = Status::missing;
    json value;           // the whole file, when `ok`
    std::string problem;  // why it is unreadable or malformed
};

Document readDocument(const std::filesystem::path& file) {
    Document document;
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (!error && size > kMaxFileBytes) {
        document.status = Document::Status::unreadable;
        document.problem = "file is larger than " + std::to_string(kMaxFileBytes) + " bytes";
        return document;
    }
    const std::optional<std::string> text = AtomicFile::read(file, error, kMaxFileBytes);
    if (!text) {
        const bool missing = error == std::errc::no_such_file_or_directory;
        document.status = missing ? Document::Status::missing : Document::Status::unreadable;
        document.problem = error.message();
        return document;
    }
    json value = json::parse(*text, nullptr, false);
    if (value.is_discarded() || !value.is_object()) {
        document.status = Document::Status::malformed;
        document.problem = "not a JSON object";
        return document;
    }
    document.status = Document::Status::ok;
    document.value = std::move(value);
    return document;
}

std::optional<std::string> optionalText(const json& entry, const char* key, bool& valid) {
    const auto found = entry.find(key);
    if (found == entry.end() || found->is_null()) return std::nullopt;
    if (!found->is_string()) {
        valid = false;
        return std::nullopt;
    }
    return found->get<std::string>();
}

// One entry of "transactions"; absent, with `problem` set, when it cannot be read.
std::optional<Purchase> readEntry(const json& entry, std::string& problem) {
    if (!entry.is_object()) {
        problem = "a transaction is not an object";
        return std::nullopt;
    }
    bool valid = true;
    const auto product = optionalText(entry, "productIdentifier", valid);
    const auto stateName = optionalText(entry, "state", valid);
    const auto identifier = optionalText(entry, "transactionIdentifier", valid);
    const auto original = optionalText(entry, "originalTransactionIdentifier", valid);
    const auto state = stateName ? transactionStateNamed(*stateName) : std::nullopt;
    if (!valid || !product || product->empty() || !state) {
        problem =
            "a transaction lacks a product identifier or a known state, or has a "
            "value of the wrong kind";
        return std::nullopt;
    }

    Purchase purchase;
    purchase.productId = *product;
    purchase.transaction = {identifier, *state, *product};
    if (original) {
        purchase.originalTransaction =
            StoreTransaction{original, TransactionState::purchased, *product};
    }
    if (const auto quantity = entry.find("quantity"); quantity != entry.end()) {
        if (!quantity->is_number_integer() || quantity->get<std::int64_t>() < 1 ||
            quantity->get<std::int64_t>() > std::numeric_limits<int>::max()) {
            problem = "a transaction's quantity is not a positive integer";
            return std::nullopt;
        }
        purchase.quantity = quantity->get<int>();
    }
    purchase.needsFinishTransaction = true;
    if (const auto flag = entry.find("needsFinish"); flag != entry.end()) {
        if (!flag->is_boolean()) {
            problem = "a transaction's needsFinish is not a Boolean";
            return std::nullopt;
        }
        purchase.needsFinishTransaction = flag->get<bool>();
    }
    return purchase;
}

// A transaction with an identifier is that transaction; one without is told apart only by
// its product and state.
bool sameTransaction(const StoreTransaction& open, const StoreTransaction& wanted) {
    if (wanted.transactionIdentifier)
        return open.transactionIdentifier == wanted.transactionIdentifier;
    return !open.transactionIdentifier && open.productIdentifier == wanted.productIdentifier &&
           open.transactionState == wanted.transactionState;
}

std::string withoutWhitespace(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) out += c;
    }
    return out;
}

}  // namespace

std::filesystem::path LocalStoreBackend::defaultFile() {
    return StandardFolders::applicationSupport() / "StoreKit" / "local-store.json";
}

LocalStoreBackend::LocalStoreBackend(std::optional<std::filesystem::path> file)
    : file_(std::move(file)) {}

std::filesystem::path LocalStoreBackend::file() const {
    return file_.value_or(defaultFile());
}

std::vector<Purchase> LocalStoreBackend::unfinishedTransactions() {
    const std::filesystem::path path = file();
    const Document document = readDocument(path);
    if (document.status == Document::Status::missing) return {};
    if (document.status != Document::Status::ok) {
        logProblem(path, document.problem);
        return {};
    }
    const auto list = document.value.find("transactions");
    if (list == document.value.end() || list->is_null()) return {};
    if (!list->is_array()) {
        logProblem(path, "\"transactions\" is not a list");
        return {};
    }
    std::vector<Purchase> purchases;
    for (const json& entry : *list) {
        std::string problem;
        if (auto purchase = readEntry(entry, problem)) {
            purchases.push_back(std::move(*purchase));
        } else {
            logProblem(path, problem + "; it is skipped");
        }
    }
    return purchases;
}

bool LocalStoreBackend::finishTransaction(const StoreTransaction& transaction) {
    const std::filesystem::path path = file();
    Document document = readDocument(path);
    if (document.status != Document::Status::ok) return false;
    const auto list = document.value.find("transactions");
    if (list == document.value.end() || !list->is_array()) return false;

    const auto entry = std::find_if(list->begin(), list->end(), [&](const json& candidate) {
        std::string ignored;
        const auto purchase = readEntry(candidate, ignored);
        return purchase && sameTransaction(purchase->transaction, transaction);
    });
    if (entry == list->end()) return false;
    list->erase(entry);

    const std::error_code error = AtomicFile::write(path, document.value.dump(2) + "\n");
    if (error) {
        logProblem(path, "could not record the finished transaction: " + error.message());
        return false;
    }
    return true;
}

ReceiptResult LocalStoreBackend::receipt(bool) {
    // The file is read afresh every time, so every fetch is already a refreshed one.
    const std::filesystem::path path = file();
    const Document document = readDocument(path);
    switch (document.status) {
        case Document::Status::missing:
            return ReceiptResult::failure(ReceiptError::Kind::noReceiptData);
        case Document::Status::unreadable:
            return ReceiptResult::failure(ReceiptError::Kind::requestFailed, document.problem);
        case Document::Status::malformed:
            return ReceiptResult::failure(ReceiptError::Kind::undecodable);
        case Document::Status::ok:
            break;
    }
    const auto receipt = document.value.find("receipt");
    if (receipt == document.value.end() || receipt->is_null()) {
        return ReceiptResult::failure(ReceiptError::Kind::noReceiptData);
    }
    if (!receipt->is_string()) return ReceiptResult::failure(ReceiptError::Kind::undecodable);
    const std::string text = withoutWhitespace(receipt->get<std::string>());
    if (text.empty()) return ReceiptResult::failure(ReceiptError::Kind::noRemoteData);
    auto bytes = DefaultsFileFormat::fromBase64(text);
    if (!bytes) return ReceiptResult::failure(ReceiptError::Kind::undecodable);
    return ReceiptResult::success(ReceiptData(bytes->begin(), bytes->end()));
}

namespace {

// The file's products; entries that cannot be read are left out.
std::vector<StoreProduct> listedProducts(const Document& document) {
    std::vector<StoreProduct> listed;
    if (document.status != Document::Status::ok) return listed;
    const auto list = document.value.find("products");
    if (list == document.value.end() || !list->is_array()) return listed;
    for (const json& entry : *list) {
        if (!entry.is_object()) continue;
        bool valid = true;
        const auto identifier = optionalText(entry, "productIdentifier", valid);
        const auto title = optionalText(entry, "localizedTitle", valid);
        const auto price = optionalText(entry, "localizedPrice", valid);
        if (!valid || !identifier || identifier->empty()) continue;
        listed.push_back({*identifier, title.value_or(""), price});
    }
    return listed;
}

}  // namespace

std::vector<StoreProduct> LocalStoreBackend::products(const std::set<std::string>& identifiers) {
    std::vector<StoreProduct> known;
    for (StoreProduct& product : listedProducts(readDocument(file()))) {
        if (identifiers.count(product.productIdentifier)) known.push_back(std::move(product));
    }
    return known;
}

PurchaseResult LocalStoreBackend::purchase(const std::string& productId, int quantity) {
    const std::filesystem::path path = file();
    Document document = readDocument(path);
    const std::vector<StoreProduct> listed = listedProducts(document);
    const bool sold = std::any_of(listed.begin(), listed.end(), [&](const StoreProduct& p) {
        return p.productIdentifier == productId;
    });
    if (!sold) return PurchaseResult::failure("无效的商品");
    json& transactions = document.value["transactions"];
    if (transactions.is_null()) transactions = json::array();
    if (!transactions.is_array()) return PurchaseResult::failure("本地商店文件无法写入");
    const std::string identifier =
        "local-" + std::to_string(transactions.size() + 1) + "-" +
        std::to_string(std::filesystem::file_time_type::clock::now().time_since_epoch().count());
    transactions.push_back({{"productIdentifier", productId},
                            {"transactionIdentifier", identifier},
                            {"state", "purchased"},
                            {"quantity", quantity}});
    if (const std::error_code error = AtomicFile::write(path, document.value.dump(2) + "\n")) {
        logProblem(path, "could not record the purchase: " + error.message());
        return PurchaseResult::failure("本地商店文件无法写入");
    }
    Purchase made;
    made.productId = productId;
    made.quantity = quantity;
    made.transaction = {identifier, TransactionState::purchased, productId};
    made.needsFinishTransaction = true;
    return PurchaseResult::success(made);
}

}  // namespace pex
