#pragma once
// What a Mach exception server needs of the kernel: a port of its own, the task's table of
// exception ports (swapped for ours, put back later), and the exception messages received on
// the port with their replies. The message layouts are the kernel's request with 64-bit codes
// and its reply, byte for byte.
//
// Linux has no exception ports: the system backend answers every call with `kNotSupported`
// (and the task as `kPortNull`), so registration fails and no server ever runs; hardware faults
// arrive as signals instead. Tests install an in-memory backend (FakeExceptionPorts.h).
//
// The calls neither allocate nor lock, so a crash-time server may use them.
#include <cstddef>
#include <cstdint>

namespace pex::mach {

using Port = std::uint32_t;
using KernReturn = std::int32_t;

inline constexpr Port kPortNull = 0;
inline constexpr KernReturn kSuccess = 0;
inline constexpr KernReturn kFailure = 5;
inline constexpr KernReturn kNotSupported = 46;

// Behaviour and flavour of a registration: the default message, with 64-bit codes, and no
// thread state.
inline constexpr std::uint32_t kExceptionDefault = 1;
inline constexpr std::uint32_t kExceptionCodes64 = 0x80000000u;
inline constexpr std::uint32_t kThreadStateNone = 13;

// The previous registrations a swap hands back: one entry per distinct port, behaviour and
// flavour, with the mask bits it held.
inline constexpr std::uint32_t kExceptionPortSlotCount = 14;
struct ExceptionPortSlots {
    std::uint32_t count;
    std::uint32_t masks[kExceptionPortSlotCount];
    Port ports[kExceptionPortSlotCount];
    std::uint32_t behaviors[kExceptionPortSlotCount];
    std::uint32_t flavors[kExceptionPortSlotCount];
};

#pragma pack(push, 4)
struct MessageHeader {
    std::uint32_t bits;
    std::uint32_t size;
    Port remotePort;  // on a received request: where the reply goes
    Port localPort;
    Port voucherPort;
    std::int32_t id;
};
struct PortDescriptor {
    Port name;
    std::uint32_t pad;
    std::uint32_t dispositionAndType;
};
struct NDRRecord {
    std::uint8_t bytes[8];
};
struct ExceptionRequest {
    MessageHeader header;
    std::uint32_t descriptorCount;
    PortDescriptor thread;
    PortDescriptor task;
    NDRRecord ndr;
    std::int32_t exception;
    std::uint32_t codeCount;
    std::int64_t code[2];
};
struct ExceptionReply {
    MessageHeader header;
    NDRRecord ndr;
    KernReturn returnCode;
};
#pragma pack(pop)
static_assert(sizeof(ExceptionRequest) == 84);
static_assert(sizeof(ExceptionReply) == 36);
// A request is received with room for the 8-byte trailer the kernel appends.
inline constexpr std::size_t kExceptionRequestBufferSize = 92;

// The data representation of this machine, as both ends of a message state it.
NDRRecord ndrRecord();

class ExceptionPortsBackend {
  public:
    virtual ~ExceptionPortsBackend() = default;
    virtual Port taskSelf() = 0;
    virtual KernReturn allocateReceiveRight(Port* port) = 0;
    virtual KernReturn insertSendRight(Port port) = 0;
    virtual KernReturn deallocatePort(Port port) = 0;
    // Registers `port` for every exception in `mask`, handing back what was registered before.
    virtual KernReturn swapExceptionPorts(std::uint32_t mask, Port port, std::uint32_t behavior,
                                          std::uint32_t flavor, ExceptionPortSlots* previous) = 0;
    virtual KernReturn setExceptionPorts(std::uint32_t mask, Port port, std::uint32_t behavior,
                                         std::uint32_t flavor) = 0;
    // Waits for the next message on `port` and copies up to `size` bytes of it to `buffer`.
    virtual KernReturn receive(Port port, void* buffer, std::uint32_t size) = 0;
    virtual KernReturn send(const void* message, std::uint32_t size) = 0;
};

// Installs `backend` (the caller keeps it alive); nullptr puts the system backend back.
void installExceptionPortsBackend(ExceptionPortsBackend* backend);

Port taskSelf();
KernReturn allocateReceiveRight(Port* port);
KernReturn insertSendRight(Port port);
KernReturn deallocatePort(Port port);
KernReturn swapExceptionPorts(std::uint32_t mask, Port port, std::uint32_t behavior,
                              std::uint32_t flavor, ExceptionPortSlots* previous);
KernReturn setExceptionPorts(std::uint32_t mask, Port port, std::uint32_t behavior,
                             std::uint32_t flavor);
KernReturn receive(Port port, void* buffer, std::uint32_t size);
KernReturn send(const void* message, std::uint32_t size);

}  // namespace pex::mach
