#include "BeaconTransport/TXPLibrary/TXPTransformer.h"

#include <atomic>

#include "BeaconTransport/TXPLibrary/TXPLog.h"

namespace pex {

const std::shared_ptr<TXPTransformer>& TXPTransformer::sharedInstance() {
    static auto* instance = new std::shared_ptr<TXPTransformer>(std::make_shared<TXPTransformer>(
        TXPApplication::sharedApplication(), TXPRegistrar::sharedPointer()));
    return *instance;
}

TXPTransformer::TXPTransformer(TXPApplicationProtocol& application,
                               std::shared_ptr<TXPRegistrar> registrar)
    : eventWritingQueue_(DispatchQueue::serial("com.beacon.TXPTransformer")),
      application_(application),
      registrar_(std::move(registrar)) {}

void TXPTransformer::transformEvent(std::optional<TXPEvent> event, Transformers transformers,
                                    Completion onComplete) {
    TXPAssert(event, "You can't write a nil event");
    // The background task belongs to this one send; whoever finishes first ends it.
    auto task =
        std::make_shared<std::atomic<TXPBackgroundIdentifier>>(TXPBackgroundIdentifierInvalid);
    TXPApplicationProtocol& application = application_;
    *task = application.beginBackgroundTask("TXTransformer", [task, &application] {
        application.endBackgroundTask(task->exchange(TXPBackgroundIdentifierInvalid));
    });
    Completion completion = [task, &application, onComplete = std::move(onComplete)](
                                bool written, ErrorRef error) {
        if (onComplete) onComplete(written, error);
        TXPBackgroundIdentifier identifier = task->exchange(TXPBackgroundIdentifierInvalid);
        if (identifier != TXPBackgroundIdentifierInvalid)
            application.endBackgroundTask(identifier);
        else
            TXPLogDebug(0, "Attempted to cancel invalid background task in TXPTransformer.");
    };
    eventWritingQueue_.async([registrar = registrar_, event = std::move(event),
                              transformers = std::move(transformers),
                              completion = std::move(completion)]() mutable {
        if (!event) {
            completion(false, nullptr);
            return;
        }
        std::int64_t target = event->target();
        std::optional<TXPEvent> working = std::move(event);
        for (const auto& transformer : transformers) {
            if (!transformer) {
                TXPConsoleLog(TXPMessageCodeTransformerNotImplemented, TXPLogLevelError,
                              "Transformer doesn't implement transformTXEvent: (null)");
                completion(false, nullptr);
                return;
            }
            TXPLogDebug(0, "Applying a transformer to event " + working->description());
            working = transformer->transformTXEvent(std::move(*working));
            if (!working) {
                completion(false, nullptr);
                return;
            }
        }
        std::shared_ptr<TXPStorageProtocol> storage = registrar->storageForTarget(target);
        if (!storage) {
            // Nothing would ever answer: say so instead of leaving the sender waiting.
            completion(
                false,
                Error::make(kErrorDomain, -1,
                            {{Error::kFailureReasonKey, "No storage is registered for target " +
                                                            std::to_string(target) + "."}}));
            return;
        }
        storage->storeEvent(std::move(*working), std::move(completion));
    });
}

}  // namespace pex
