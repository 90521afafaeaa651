#pragma once
// An in-memory exception-port backend for tests: a task with a table of registrations per
// exception type, ports handed out by a counter, exception messages a test posts, the replies
// the server sends, and forced failures per call.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/mach/ExceptionPorts.h"

namespace pex::mach {

class FakeExceptionPorts : public ExceptionPortsBackend {
  public:
    enum class Call { allocate, insertRight, swap, set, receive, send };
    static constexpr Port kTask = 0x103;
    // What a receive answers once the fake is closed and no message is left.
    static constexpr KernReturn kReceiveEnded = 0x10004005;

    struct Registration {
        Port port = kPortNull;
        std::uint32_t behavior = 0;
        std::uint32_t flavor = 0;
        bool operator==(const Registration&) const = default;
    };

    // The next call of `call` fails with `status` and changes nothing.
    void failNext(Call call, KernReturn status);
    // Registers `registration` for the exception types of `mask` (bit n: type n).
    void setRegistration(std::uint32_t mask, Registration registration);
    Registration registration(int exceptionType) const;

    // Queues a message for the next receive.
    void post(const ExceptionRequest& request);
    // From now on a receive without a queued message fails (kReceiveEnded) instead of waiting.
    void close();
    std::vector<ExceptionReply> replies() const;
    // Waits (bounded) until `count` replies were sent; false when they were not.
    bool waitForReplies(std::size_t count, std::chrono::milliseconds timeout);
    std::vector<Port> allocatedPorts() const;
    std::vector<Port> deallocatedPorts() const;

    // --- ExceptionPortsBackend -------------------------------------------------------------
    Port taskSelf() override { return kTask; }
    KernReturn allocateReceiveRight(Port* port) override;
    KernReturn insertSendRight(Port port) override;
    KernReturn deallocatePort(Port port) override;
    KernReturn swapExceptionPorts(std::uint32_t mask, Port port, std::uint32_t behavior,
                                  std::uint32_t flavor, ExceptionPortSlots* previous) override;
    KernReturn setExceptionPorts(std::uint32_t mask, Port port, std::uint32_t behavior,
                                 std::uint32_t flavor) override;
    KernReturn receive(Port port, void* buffer, std::uint32_t size) override;
    KernReturn send(const void* message, std::uint32_t size) override;

  private:
    // Lock held: the forced failure of `call`, if one is pending.
    KernReturn takeFailure(Call call);

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::condition_variable replied_;
    std::map<Call, KernReturn> failures_;
    Registration table_[32];
    Port nextPort_ = 0x1000;
    std::vector<Port> allocated_;
    std::vector<Port> deallocated_;
    std::deque<ExceptionRequest> messages_;
    bool closed_ = false;
    std::vector<ExceptionReply> replies_;
};

}  // namespace pex::mach
