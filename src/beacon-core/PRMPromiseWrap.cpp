// Completion-handler wrappers: each runs the caller's work with a handler of one shape and
// resolves the promise from what the handler receives.
#include "beacon-core/PRMPromise.h"
#include "platform/foundation/Exception.h"

namespace pex {

namespace {

using Fulfill = PRMPromise::Fulfill;
using Reject = PRMPromise::Reject;

// `makeHandler(fulfill, reject)` builds the handler handed to the caller's work.
template <typename Handler, typename MakeHandler>
PRMPromiseRef wrap(const DispatchQueue& queue, PRMPromise::WrapWork<Handler> work,
                   MakeHandler makeHandler) {
    PEX_PARAMETER_ASSERT(work, "work");
    return PRMPromise::async(
        queue, [work = std::move(work), makeHandler](const Fulfill& fulfill, const Reject& reject) {
            work(makeHandler(fulfill, reject));
        });
}

PRMValue orPlaceholder(PRMValue value) {
    return value.isNull() ? PRMValue::nullPlaceholder() : std::move(value);
}

}  // namespace

PRMPromiseRef PRMPromise::wrapCompletion(const DispatchQueue& queue, WrapWork<Done> work) {
    return wrap<Done>(queue, std::move(work), [](Fulfill fulfill, Reject) -> Done {
        return [fulfill] { fulfill(PRMValue()); };
    });
}

PRMPromiseRef PRMPromise::wrapObjectCompletion(const DispatchQueue& queue,
                                               WrapWork<ObjectDone> work) {
    return wrap<ObjectDone>(queue, std::move(work), [](Fulfill fulfill, Reject) -> ObjectDone {
        return [fulfill](PRMValue value) { fulfill(value); };
    });
}

PRMPromiseRef PRMPromise::wrapErrorCompletion(const DispatchQueue& queue,
                                              WrapWork<ErrorDone> work) {
    return wrap<ErrorDone>(queue, std::move(work), [](Fulfill fulfill, Reject reject) -> ErrorDone {
        return [fulfill, reject](ErrorRef error) {
            if (error) {
                reject(error);
            } else {
                fulfill(PRMValue());
            }
        };
    });
}

PRMPromiseRef PRMPromise::wrapObjectOrErrorCompletion(const DispatchQueue& queue,
                                                      WrapWork<ObjectOrErrorDone> work) {
    return wrap<ObjectOrErrorDone>(queue, std::move(work),
                                   [](Fulfill fulfill, Reject reject) -> ObjectOrErrorDone {
                                       return [fulfill, reject](PRMValue value, ErrorRef error) {
                                           if (error) {
                                               reject(error);
                                           } else {
                                               fulfill(value);
                                           }
                                       };
                                   });
}

PRMPromiseRef PRMPromise::wrapErrorOrObjectCompletion(const DispatchQueue& queue,
                                                      WrapWork<ErrorOrObjectDone> work) {
    return wrap<ErrorOrObjectDone>(queue, std::move(work),
                                   [](Fulfill fulfill, Reject reject) -> ErrorOrObjectDone {
                                       return [fulfill, reject](ErrorRef error, PRMValue value) {
                                           if (error) {
                                               reject(error);
                                           } else {
                                               fulfill(value);
                                           }
                                       };
                                   });
}

PRMPromiseRef PRMPromise::wrap2ObjectsOrErrorCompletion(const DispatchQueue& queue,
                                                        WrapWork<TwoObjectsOrErrorDone> work) {
    return wrap<TwoObjectsOrErrorDone>(
        queue, std::move(work), [](Fulfill fulfill, Reject reject) -> TwoObjectsOrErrorDone {
            return [fulfill, reject](PRMValue first, PRMValue second, ErrorRef error) {
                if (error) {
                    reject(error);
                } else {
                    fulfill(PRMValue(PRMValue::Array{orPlaceholder(std::move(first)),
                                                     orPlaceholder(std::move(second))}));
                }
            };
        });
}

namespace {

// Booleans and numbers arrive boxed; a handler with an error rejects when it is not null.
template <typename Number>
std::function<void(Number)> boxing(const Fulfill& fulfill) {
    return [fulfill](Number number) { fulfill(PRMValue::box(number)); };
}

template <typename Number>
std::function<void(Number, ErrorRef)> boxingOrRejecting(const Fulfill& fulfill,
                                                        const Reject& reject) {
    return [fulfill, reject](Number number, ErrorRef error) {
        if (error) {
            reject(error);
        } else {
            fulfill(PRMValue::box(number));
        }
    };
}

}  // namespace

PRMPromiseRef PRMPromise::wrapBoolCompletion(const DispatchQueue& queue, WrapWork<BoolDone> work) {
    return wrap<BoolDone>(queue, std::move(work),
                          [](Fulfill fulfill, Reject) { return boxing<bool>(fulfill); });
}

PRMPromiseRef PRMPromise::wrapBoolOrErrorCompletion(const DispatchQueue& queue,
                                                    WrapWork<BoolOrErrorDone> work) {
    return wrap<BoolOrErrorDone>(queue, std::move(work), [](Fulfill fulfill, Reject reject) {
        return boxingOrRejecting<bool>(fulfill, reject);
    });
}

PRMPromiseRef PRMPromise::wrapIntegerCompletion(const DispatchQueue& queue,
                                                WrapWork<IntegerDone> work) {
    return wrap<IntegerDone>(queue, std::move(work),
                             [](Fulfill fulfill, Reject) { return boxing<std::int64_t>(fulfill); });
}

PRMPromiseRef PRMPromise::wrapIntegerOrErrorCompletion(const DispatchQueue& queue,
                                                       WrapWork<IntegerOrErrorDone> work) {
    return wrap<IntegerOrErrorDone>(queue, std::move(work), [](Fulfill fulfill, Reject reject) {
        return boxingOrRejecting<std::int64_t>(fulfill, reject);
    });
}

PRMPromiseRef PRMPromise::wrapDoubleCompletion(const DispatchQueue& queue,
                                               WrapWork<DoubleDone> work) {
    return wrap<DoubleDone>(queue, std::move(work),
                            [](Fulfill fulfill, Reject) { return boxing<double>(fulfill); });
}

PRMPromiseRef PRMPromise::wrapDoubleOrErrorCompletion(const DispatchQueue& queue,
                                                      WrapWork<DoubleOrErrorDone> work) {
    return wrap<DoubleOrErrorDone>(queue, std::move(work), [](Fulfill fulfill, Reject reject) {
        return boxingOrRejecting<double>(fulfill, reject);
    });
}

// The forms without a queue use the default queue, read at the call.
#define PEX_WRAP_ON_DEFAULT_QUEUE(name, Handler)              \
    PRMPromiseRef PRMPromise::name(WrapWork<Handler> work) {  \
        return name(defaultDispatchQueue(), std::move(work)); \
    }
PEX_WRAP_ON_DEFAULT_QUEUE(wrapCompletion, Done)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapObjectCompletion, ObjectDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapErrorCompletion, ErrorDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapObjectOrErrorCompletion, ObjectOrErrorDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapErrorOrObjectCompletion, ErrorOrObjectDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrap2ObjectsOrErrorCompletion, TwoObjectsOrErrorDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapBoolCompletion, BoolDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapBoolOrErrorCompletion, BoolOrErrorDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapIntegerCompletion, IntegerDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapIntegerOrErrorCompletion, IntegerOrErrorDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapDoubleCompletion, DoubleDone)
PEX_WRAP_ON_DEFAULT_QUEUE(wrapDoubleOrErrorCompletion, DoubleOrErrorDone)
#undef PEX_WRAP_ON_DEFAULT_QUEUE

}  // namespace pex
