#include "platform/mach/FakeExceptionPorts.h"

#include <algorithm>
#include <cstring>

namespace pex::mach {

KernReturn FakeExceptionPorts::takeFailure(Call call) {
    const auto failure = failures_.find(call);
    if (failure == failures_.end()) return kSuccess;
    const KernReturn status = failure->second;
    failures_.erase(failure);
    return status;
}

void FakeExceptionPorts::failNext(Call call, KernReturn status) {
    std::lock_guard lock(mutex_);
    failures_[call] = status;
}

void FakeExceptionPorts::setRegistration(std::uint32_t mask, Registration registration) {
    std::lock_guard lock(mutex_);
    for (int type = 0; type < 32; ++type) {
        if (mask & (1u << type)) table_[type] = registration;
    }
}

FakeExceptionPorts::Registration FakeExceptionPorts::registration(int exceptionType) const {
    std::lock_guard lock(mutex_);
    return exceptionType >= 0 && exceptionType < 32 ? table_[exceptionType] : Registration{};
}

void FakeExceptionPorts::post(const ExceptionRequest& request) {
    std::lock_guard lock(mutex_);
    messages_.push_back(request);
    posted_.notify_all();
}

void FakeExceptionPorts::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    posted_.notify_all();
}

std::vector<ExceptionReply> FakeExceptionPorts::replies() const {
    std::lock_guard lock(mutex_);
    return replies_;
}

bool FakeExceptionPorts::waitForReplies(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return replied_.wait_for(lock, timeout, [&] { return replies_.size() >= count; });
}

std::vector<Port> FakeExceptionPorts::allocatedPorts() const {
    std::lock_guard lock(mutex_);
    return allocated_;
}

std::vector<Port> FakeExceptionPorts::deallocatedPorts() const {
    std::lock_guard lock(mutex_);
    return deallocated_;
}

KernReturn FakeExceptionPorts::allocateReceiveRight(Port* port) {
    std::lock_guard lock(mutex_);
    if (const KernReturn failure = takeFailure(Call::allocate)) return failure;
    *port = nextPort_++;
    allocated_.push_back(*port);
    return kSuccess;
}

KernReturn FakeExceptionPorts::insertSendRight(Port port) {
    std::lock_guard lock(mutex_);
    if (const KernReturn failure = takeFailure(Call::insertRight)) return failure;
    return std::find(allocated_.begin(), allocated_.end(), port) != allocated_.end() ? kSuccess
                                                                                     : kFailure;
}

KernReturn FakeExceptionPorts::deallocatePort(Port port) {
    std::lock_guard lock(mutex_);
    deallocated_.push_back(port);
    return kSuccess;
}

KernReturn FakeExceptionPorts::swapExceptionPorts(std::uint32_t mask, Port port,
                                                  std::uint32_t behavior, std::uint32_t flavor,
                                                  ExceptionPortSlots* previous) {
    std::lock_guard lock(mutex_);
    if (const KernReturn failure = takeFailure(Call::swap)) return failure;
    previous->count = 0;
    for (int type = 0; type < 32; ++type) {
        if (!(mask & (1u << type))) continue;
        const Registration& before = table_[type];
        std::uint32_t slot = 0;
        while (slot < previous->count && !(previous->ports[slot] == before.port &&
                                           previous->behaviors[slot] == before.behavior &&
                                           previous->flavors[slot] == before.flavor)) {
            ++slot;
        }
        if (slot == previous->count) {
            if (slot == kExceptionPortSlotCount) continue;
            previous->masks[slot] = 0;
            previous->ports[slot] = before.port;
            previous->behaviors[slot] = before.behavior;
            previous->flavors[slot] = before.flavor;
            ++previous->count;
        }
        previous->masks[slot] |= 1u << type;
    }
    for (int type = 0; type < 32; ++type) {
        if (mask & (1u << type)) table_[type] = {port, behavior, flavor};
    }
    return kSuccess;
}

KernReturn FakeExceptionPorts::setExceptionPorts(std::uint32_t mask, Port port,
                                                 std::uint32_t behavior, std::uint32_t flavor) {
    std::lock_guard lock(mutex_);
    if (const KernReturn failure = takeFailure(Call::set)) return failure;
    for (int type = 0; type < 32; ++type) {
        if (mask & (1u << type)) table_[type] = {port, behavior, flavor};
    }
    return kSuccess;
}

KernReturn FakeExceptionPorts::receive(Port, void* buffer, std::uint32_t size) {
    std::unique_lock lock(mutex_);
    if (const KernReturn failure = takeFailure(Call::receive)) return failure;
    posted_.wait(lock, [this] { return !messages_.empty() || closed_; });
    if (messages_.empty()) return kReceiveEnded;
    const ExceptionRequest request = messages_.front();
    messages_.pop_front();
    std::memcpy(buffer, &request, std::min<std::size_t>(size, sizeof request));
    return kSuccess;
}

KernReturn FakeExceptionPorts::send(const void* message, std::uint32_t size) {
    std::lock_guard lock(mutex_);
    if (const KernReturn failure = takeFailure(Call::send)) return failure;
    if (size != sizeof(ExceptionReply)) return kFailure;
    ExceptionReply reply;
    std::memcpy(&reply, message, sizeof reply);
    replies_.push_back(reply);
    replied_.notify_all();
    return kSuccess;
}

}  // namespace pex::mach
