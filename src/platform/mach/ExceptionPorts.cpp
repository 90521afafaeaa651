#include "platform/mach/ExceptionPorts.h"

#include <atomic>

namespace pex::mach {

namespace {

// The kernel has no exception ports: nothing can be registered, received or sent.
class SystemExceptionPorts final : public ExceptionPortsBackend {
  public:
    Port taskSelf() override { return kPortNull; }
    KernReturn allocateReceiveRight(Port* port) override {
        if (port != nullptr) *port = kPortNull;
        return kNotSupported;
    }
    KernReturn insertSendRight(Port) override { return kNotSupported; }
    KernReturn deallocatePort(Port) override { return kNotSupported; }
    KernReturn swapExceptionPorts(std::uint32_t, Port, std::uint32_t, std::uint32_t,
                                  ExceptionPortSlots* previous) override {
        if (previous != nullptr) previous->count = 0;
        return kNotSupported;
    }
    KernReturn setExceptionPorts(std::uint32_t, Port, std::uint32_t, std::uint32_t) override {
        return kNotSupported;
    }
    KernReturn receive(Port, void*, std::uint32_t) override { return kNotSupported; }
    KernReturn send(const void*, std::uint32_t) override { return kNotSupported; }
};

SystemExceptionPorts systemBackend;
std::atomic<ExceptionPortsBackend*> installed{&systemBackend};

ExceptionPortsBackend& backend() {
    return *installed.load(std::memory_order_acquire);
}

}  // namespace

NDRRecord ndrRecord() {
    NDRRecord record{};
    // Integers little-endian (1); characters ASCII and floats IEEE (0).
    record.bytes[4] = 1;
    return record;
}

void installExceptionPortsBackend(ExceptionPortsBackend* backend) {
    installed.store(backend != nullptr ? backend : &systemBackend, std::memory_order_release);
}

Port taskSelf() {
    return backend().taskSelf();
}
KernReturn allocateReceiveRight(Port* port) {
    return backend().allocateReceiveRight(port);
}
KernReturn insertSendRight(Port port) {
    return backend().insertSendRight(port);
}
KernReturn deallocatePort(Port port) {
    return backend().deallocatePort(port);
}
KernReturn swapExceptionPorts(std::uint32_t mask, Port port, std::uint32_t behavior,
                              std::uint32_t flavor, ExceptionPortSlots* previous) {
    return backend().swapExceptionPorts(mask, port, behavior, flavor, previous);
}
KernReturn setExceptionPorts(std::uint32_t mask, Port port, std::uint32_t behavior,
                             std::uint32_t flavor) {
    return backend().setExceptionPorts(mask, port, behavior, flavor);
}
KernReturn receive(Port port, void* buffer, std::uint32_t size) {
    return backend().receive(port, buffer, size);
}
KernReturn send(const void* message, std::uint32_t size) {
    return backend().send(message, size);
}

}  // namespace pex::mach
