#include "crashreporter/network/CRSCompoundOperation.h"

namespace pex {

namespace {

constexpr char kQueueLabel[] = "com.beacon.crashreporter.CRSCompoundOperation.operation-queue";
constexpr char kCountingQueueLabel[] =
    "com.beacon.crashreporter.CRSCompoundOperation.dispatch-queue.counting-queue";

nlohmann::json describe(const std::vector<ErrorRef>& errors) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& error : errors) list.push_back(error ? error->description() : "");
    return list;
}

}  // namespace

CRSCompoundOperationError::CRSCompoundOperationError(std::vector<ErrorRef> underlyingErrors)
    : Error(kCRSCompoundOperationErrorDomain, kCRSCompoundOperationErrorCodeSuboperationFailed,
            {{kCRSCompoundOperationErrorUserInfoKeyUnderlyingErrors, describe(underlyingErrors)}}),
      underlyingErrors_(std::move(underlyingErrors)) {}

CRSCompoundOperation::CRSCompoundOperation()
    : CRSBaseAsyncOperation("CRSCompoundOperation"),
      compoundQueue_(kQueueLabel),
      countingQueue_(DispatchQueue::serial(kCountingQueueLabel)) {}

void CRSCompoundOperation::setOperations(
    std::vector<std::shared_ptr<CRSBaseAsyncOperation>> operations) {
    operations_ = std::move(operations);
}

std::weak_ptr<CRSCompoundOperation> CRSCompoundOperation::weakSelf() {
    return std::static_pointer_cast<CRSCompoundOperation>(shared_from_this());
}

void CRSCompoundOperation::main() {
    for (const auto& operation : operations_) {
        injectCompoundAsyncCompletionInOperation(*operation);
        injectCompoundSyncCompletionInOperation(*operation);
        compoundQueue_.addOperation(operation);
    }
}

void CRSCompoundOperation::injectCompoundAsyncCompletionInOperation(
    CRSBaseAsyncOperation& operation) {
    operation.setAsyncCompletion(
        [weak = weakSelf(), kept = operation.asyncCompletion()](const ErrorRef& error) {
            auto self = weak.lock();
            if (!self) return;
            if (kept) self->countingQueue_.sync([&] { kept(error); });
            self->updateCompletionCountsWithError(error);
        });
}

void CRSCompoundOperation::injectCompoundSyncCompletionInOperation(
    CRSBaseAsyncOperation& operation) {
    operation.setCompletionBlock([weak = weakSelf(), kept = operation.completionBlock()] {
        auto self = weak.lock();
        if (!self) return;
        if (kept) self->countingQueue_.sync(kept);
        self->countingQueue_.sync([&] { self->attemptCompoundCompletion(); });
    });
}

void CRSCompoundOperation::updateCompletionCountsWithError(const ErrorRef& error) {
    countingQueue_.sync([&] {
        if (error) {
            errors_.push_back(error);
        } else {
            ++completedOperations_;
        }
    });
}

void CRSCompoundOperation::attemptCompoundCompletion() {
    // Several completion checks may see the last count; only the first one finishes.
    if (compoundFinished_) return;
    if (isCancelled()) {
        compoundFinished_ = true;
        nlohmann::json info = {{Error::kDescriptionKey, name() + " cancelled"}};
        finishWithError(Error::make(kCRSCompoundOperationErrorDomain,
                                    kCRSCompoundOperationErrorCodeCancelled, std::move(info)));
        setAsyncCompletion(nullptr);
        return;
    }
    if (completedOperations_ + errors_.size() != operations_.size()) return;
    compoundFinished_ = true;
    if (errors_.empty()) {
        finishWithError(nullptr);
    } else {
        finishWithError(std::make_shared<const CRSCompoundOperationError>(errors_));
    }
}

void CRSCompoundOperation::cancel() {
    if (compoundQueue_.operationCount() > 0) {
        compoundQueue_.cancelAllOperations();
        countingQueue_.sync([this] { attemptCompoundCompletion(); });
    } else {
        for (const auto& operation : operations_) {
            operation->cancel();
            compoundQueue_.addOperation(operation);
        }
    }
    CRSBaseAsyncOperation::cancel();
}

std::uint64_t CRSCompoundOperation::completedOperations() const {
    std::uint64_t count = 0;
    countingQueue_.sync([&] { count = completedOperations_; });
    return count;
}

std::vector<ErrorRef> CRSCompoundOperation::errors() const {
    std::vector<ErrorRef> list;
    countingQueue_.sync([&] { list = errors_; });
    return list;
}

}  // namespace pex
