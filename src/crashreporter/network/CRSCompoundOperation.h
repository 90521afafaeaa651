#pragma once
// Runs a list of asynchronous operations side by side on a queue of its own and finishes once
// all of them have, with one combined error: none when every operation succeeded, else an
// error of code 4294967293 listing the operations' errors; 4294967294 when it was cancelled.
// Its bookkeeping runs on one serial counting queue, so the operations may end on any thread
// (but not on that queue).
//
//   auto compound = std::make_shared<CRSCompoundOperation>();
//   compound->setOperations({first, second, third});
//   compound->setAsyncCompletion([](const ErrorRef& error) { ... });
//   compound->start();
#include <cstdint>
#include <memory>
#include <vector>

#include "crashreporter/network/CRSBaseAsyncOperation.h"
#include "crashreporter/network/CRSOperationQueue.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

inline constexpr char kCRSCompoundOperationErrorDomain[] =
    "com.beacon.crashreporter.CRSCompoundOperation.error";
inline constexpr char kCRSCompoundOperationErrorUserInfoKeyUnderlyingErrors[] =
    "com.beacon.crashreporter.CRSCompoundOperation.error.user-info-key.underlying-errors";
// Positive 64-bit codes: 2^32 − 2 and 2^32 − 3.
inline constexpr std::int64_t kCRSCompoundOperationErrorCodeCancelled = 4294967294;
inline constexpr std::int64_t kCRSCompoundOperationErrorCodeSuboperationFailed = 4294967293;

// The combined error of failed operations: their errors in the order they were reported. The
// user information holds their descriptions under the underlying-errors key.
class CRSCompoundOperationError : public Error {
  public:
    explicit CRSCompoundOperationError(std::vector<ErrorRef> underlyingErrors);
    const std::vector<ErrorRef>& underlyingErrors() const { return underlyingErrors_; }

  private:
    const std::vector<ErrorRef> underlyingErrors_;
};

class CRSCompoundOperation : public CRSBaseAsyncOperation {
  public:
    CRSCompoundOperation();

    // Set before the compound operation starts.
    void setOperations(std::vector<std::shared_ptr<CRSBaseAsyncOperation>> operations);
    const std::vector<std::shared_ptr<CRSBaseAsyncOperation>>& operations() const {
        return operations_;
    }

    // Cancels the operations; the compound operation then finishes with the cancellation
    // error once one of them has ended.
    void cancel() override;

    std::uint64_t completedOperations() const;
    std::vector<ErrorRef> errors() const;

  protected:
    void main() override;

  private:
    void injectCompoundAsyncCompletionInOperation(CRSBaseAsyncOperation& operation);
    void injectCompoundSyncCompletionInOperation(CRSBaseAsyncOperation& operation);
    void updateCompletionCountsWithError(const ErrorRef& error);
    // Runs on the counting queue.
    void attemptCompoundCompletion();
    std::weak_ptr<CRSCompoundOperation> weakSelf();

    std::vector<std::shared_ptr<CRSBaseAsyncOperation>> operations_;
    CRSOperationQueue compoundQueue_;
    const DispatchQueue countingQueue_;
    // Touched only on the counting queue.
    std::uint64_t completedOperations_ = 0;
    std::vector<ErrorRef> errors_;
    bool compoundFinished_ = false;
};

}  // namespace pex
