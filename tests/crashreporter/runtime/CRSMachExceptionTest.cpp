// The Mach exception server over the in-memory exception-port backend: registration and its
// failures, the record written for a synthetic exception, the reply, putting the earlier ports
// back, and the system backend of this platform, on which nothing registers.
#include "crashreporter/runtime/CRSMachException.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "platform/mach/FakeExceptionPorts.h"

namespace pex {
namespace {

using mach::FakeExceptionPorts;
using Call = FakeExceptionPorts::Call;
using Registration = FakeExceptionPorts::Registration;

constexpr std::uint32_t kBadAccess = 1, kBadInstruction = 2, kArithmetic = 3, kBreakpoint = 6,
                        kGuard = 12;
constexpr std::uint32_t kOurBehavior = mach::kExceptionDefault | mach::kExceptionCodes64;
// What was registered before us: one port for bad access and arithmetic, another for
// breakpoints; nothing for bad instructions and guards.
const Registration kDebuggerPort{0x55, 1, 7};
const Registration kToolPort{0x66, 3, 5};

pid_t currentTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

mach::ExceptionRequest exception(std::int32_t type, std::vector<std::int64_t> codes,
                                 mach::Port task = FakeExceptionPorts::kTask) {
    mach::ExceptionRequest request{};
    request.header.bits = 0x80001513;  // complex message, reply port disposition 0x13
    request.header.size = sizeof request;
    request.header.remotePort = 0x777;
    request.header.localPort = 0x1000;
    request.header.id = 2405;
    request.descriptorCount = 2;
    request.thread.name = static_cast<mach::Port>(currentTid());
    request.task.name = task;
    request.ndr = mach::ndrRecord();
    request.exception = type;
    request.codeCount = static_cast<std::uint32_t>(codes.size());
    for (std::size_t i = 0; i < codes.size() && i < 2; ++i) request.code[i] = codes[i];
    return request;
}

class CRSMachExceptionTest : public test::CrashContextTest {
  protected:
    void SetUp() override {
        CrashContextTest::SetUp();
        // The crash body unwinds through the image table. The context is left uncompleted, so
        // every record in a test counts as the first crash.
        CRSContextInitializeHost();
        CRSBinaryImageInit();
        CRSBinaryImageQueue().sync([] {});
        ports.setRegistration((1u << kBadAccess) | (1u << kArithmetic), kDebuggerPort);
        ports.setRegistration(1u << kBreakpoint, kToolPort);
        mach::installExceptionPortsBackend(&ports);
        std::memset(&context, 0, sizeof context);
        path = (root() / kCRSMachExceptionFileName).string();
        context.path = path.c_str();
    }
    void TearDown() override { mach::installExceptionPortsBackend(nullptr); }

    // Records `request` as the server thread would: on a thread of its own, the faulting
    // thread (this one) waiting meanwhile.
    mach::KernReturn record(const mach::ExceptionRequest& request) {
        mach::KernReturn status = mach::kFailure;
        std::thread server([&] { status = CRSMachExceptionRecord(&context, request); });
        server.join();
        return status;
    }

    std::vector<nlohmann::json> sections() {
        return CRSFileReadSections(path.c_str(), false).value_or(std::vector<nlohmann::json>{});
    }

    FakeExceptionPorts ports;
    CRSMachExceptionReadOnlyContext context;
    std::string path;
};

TEST_F(CRSMachExceptionTest, ASyntheticExceptionIsRecordedBeforeTheCrashBody) {
    ASSERT_TRUE(CRSMachExceptionRegister(&context));
    struct Case {
        std::int32_t type;
        std::vector<std::int64_t> codes;
        nlohmann::json name, codeName, writtenCodes;
    };
    const std::vector<Case> cases = {
        {kBadAccess, {1, 0x10}, "EXC_BAD_ACCESS", "KERN_INVALID_ADDRESS", {1, 0x10}},
        {kBadAccess, {2, 0x7ff0}, "EXC_BAD_ACCESS", "KERN_PROTECTION_FAILURE", {2, 0x7ff0}},
        // No code: looked up with 0, which bad access does not name.
        {kBadAccess, {}, "EXC_BAD_ACCESS", nullptr, nlohmann::json::array()},
        {kBreakpoint, {8}, "EXC_BREAKPOINT", nullptr, {8}},
        {kBreakpoint, {15, 3}, "EXC_BREAKPOINT", nullptr, {15, 3}},
        {kArithmetic, {1, 0}, "EXC_ARITHMETIC", "EXC_I386_DIV", {1, 0}},
        {kGuard, {-1}, "EXC_GUARD", nullptr, {0xFFFFFFFFFFFFFFFFull}},
        {99, {1}, nullptr, nullptr, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        std::filesystem::remove(path);
        const auto before = std::chrono::system_clock::now();
        ASSERT_EQ(record(exception(c.type, c.codes)), mach::kSuccess);
        const auto written = sections();
        ASSERT_GE(written.size(), 2u);
        ASSERT_TRUE(written[0].contains("mach_exception"));
        const nlohmann::json& record = written[0]["mach_exception"];
        EXPECT_EQ(record["exception"], c.type);
        EXPECT_EQ(record["codes"], c.writtenCodes);
        EXPECT_EQ(record["name"], c.name);
        EXPECT_EQ(record["code_name"], c.codeName);
        EXPECT_EQ(record["original_ports"], 3);  // two earlier ports and "none"
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(before.time_since_epoch()).count();
        EXPECT_GE(record["time"].get<std::int64_t>(), seconds);
        EXPECT_LE(record["time"].get<std::int64_t>(), seconds + 60);
        std::vector<std::string> keys;
        for (const auto& [key, value] : record.items()) keys.push_back(key);
        EXPECT_EQ(keys.size(), 6u);
        // The crash body follows, with the faulting thread among the threads.
        EXPECT_TRUE(written[1].contains("threads"));
    }
    // A count larger than the message's two codes is not believed.
    std::filesystem::remove(path);
    mach::ExceptionRequest lying = exception(kBadAccess, {1, 2});
    lying.codeCount = 1000;
    ASSERT_EQ(record(lying), mach::kSuccess);
    EXPECT_EQ(sections()[0]["mach_exception"]["codes"], (nlohmann::json{1, 2}));
}

TEST_F(CRSMachExceptionTest, RegistrationSavesTheEarlierPortsAndUnregisteringPutsThemBack) {
    ASSERT_TRUE(CRSMachExceptionRegister(&context));
    EXPECT_EQ(context.mask, 0x104Eu);
    EXPECT_EQ(ports.allocatedPorts(), std::vector<mach::Port>{context.port});
    const Registration ours{context.port, kOurBehavior, mach::kThreadStateNone};
    for (std::uint32_t type : {kBadAccess, kBadInstruction, kArithmetic, kBreakpoint, kGuard}) {
        EXPECT_EQ(ports.registration(static_cast<int>(type)), ours) << type;
    }
    EXPECT_EQ(ports.registration(5), Registration{});  // outside the mask
    ASSERT_EQ(context.originalPorts.count, 3u);
    EXPECT_EQ(context.originalPorts.masks[0], (1u << kBadAccess) | (1u << kArithmetic));
    EXPECT_EQ(context.originalPorts.ports[0], 0x55u);
    EXPECT_EQ(context.originalPorts.masks[1], (1u << kBadInstruction) | (1u << kGuard));
    EXPECT_EQ(context.originalPorts.ports[1], mach::kPortNull);
    EXPECT_EQ(context.originalPorts.masks[2], 1u << kBreakpoint);
    EXPECT_TRUE(sdkLog().find("original 0x55 0xa 0x1 0x7") != std::string::npos) << sdkLog();

    ASSERT_TRUE(CRSMachExceptionUnregister(&context.originalPorts, context.mask));
    EXPECT_EQ(ports.registration(kBadAccess), kDebuggerPort);
    EXPECT_EQ(ports.registration(kArithmetic), kDebuggerPort);
    EXPECT_EQ(ports.registration(kBreakpoint), kToolPort);
    EXPECT_EQ(ports.registration(kBadInstruction).port, mach::kPortNull);
    EXPECT_EQ(ports.registration(kGuard).port, mach::kPortNull);

    // Mask bits no saved entry covers are set to no port; when that fails the answer is false.
    mach::ExceptionPortSlots none{};
    ports.failNext(Call::set, mach::kFailure);
    EXPECT_FALSE(CRSMachExceptionUnregister(&none, 0x104E));
    EXPECT_TRUE(sdkLog().find("unable to unset unregistered mask: 0x104e") != std::string::npos);
    // A saved entry that cannot be restored is logged; the others still go back.
    ports.setRegistration(0x104E, ours);
    ports.failNext(Call::set, mach::kFailure);
    EXPECT_TRUE(CRSMachExceptionUnregister(&context.originalPorts, context.mask));
    EXPECT_TRUE(sdkLog().find("unable to restore original port: 85") != std::string::npos);
    EXPECT_EQ(ports.registration(kBadAccess), ours);
    EXPECT_EQ(ports.registration(kBreakpoint), kToolPort);
}

TEST_F(CRSMachExceptionTest, AFailedRegistrationStartsNoServerAndLeavesTheEarlierPorts) {
    struct Case {
        Call call;
        const char* line;
        bool portReleased;
    };
    const std::vector<Case> cases = {
        {Call::allocate, "Error: mach_port_allocate failed 3", false},
        {Call::insertRight, "Error: mach_port_insert_right failed 3", true},
        {Call::swap, "Error: task_swap_exception_ports 3", false},
    };
    std::ofstream(path) << "left from an earlier launch\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::memset(&context, 0, sizeof context);
        context.path = path.c_str();
        ports.failNext(c.call, 3);
        CRSMachExceptionInit(&context);
        EXPECT_FALSE(context.threadStarted);
        EXPECT_TRUE(sdkLog().find(c.line) != std::string::npos) << sdkLog();
        EXPECT_EQ(
            !ports.deallocatedPorts().empty() && ports.deallocatedPorts().back() == context.port,
            c.portReleased);
        EXPECT_EQ(ports.registration(kBadAccess), kDebuggerPort);
        EXPECT_EQ(ports.registration(kBreakpoint), kToolPort);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    std::size_t count = 0;
    for (std::size_t at = 0;
         (at = sdkLog().find("Unable to register mach exception handler", at)) != std::string::npos;
         ++at) {
        ++count;
    }
    EXPECT_EQ(count, cases.size());
}

TEST_F(CRSMachExceptionTest, OnThisPlatformNothingRegisters) {
    mach::installExceptionPortsBackend(nullptr);
    std::ofstream(path) << "left from an earlier launch\n";
    CRSMachExceptionInit(&context);
    EXPECT_FALSE(context.threadStarted);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(sdkLog().find("Error: mach_port_allocate failed 46") != std::string::npos);
    EXPECT_TRUE(sdkLog().find("Unable to register mach exception handler") != std::string::npos);
    EXPECT_EQ(mach::taskSelf(), mach::kPortNull);
    char buffer[mach::kExceptionRequestBufferSize];
    EXPECT_EQ(mach::receive(context.port, buffer, sizeof buffer), mach::kNotSupported);
    EXPECT_FALSE(CRSMachExceptionCheckHandlers());
}

TEST_F(CRSMachExceptionTest, AnExceptionOfAnotherTaskIsRefusedAndWritesNothing) {
    ASSERT_TRUE(CRSMachExceptionRegister(&context));
    EXPECT_EQ(CRSMachExceptionDispatchMessage(&context, exception(kBadAccess, {1, 0}, 0x999)),
              mach::kFailure);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ports.registration(kBadAccess).port, context.port);  // still ours
    EXPECT_TRUE(sdkLog().find("Mach exception task mis-match, returning failure") !=
                std::string::npos);
}

TEST_F(CRSMachExceptionTest, TheReplyAnswersTheRequest) {
    const mach::ExceptionRequest request = exception(kBadAccess, {1, 0});
    for (mach::KernReturn code : {mach::kSuccess, mach::kFailure}) {
        const mach::ExceptionReply reply = CRSMachExceptionMakeReply(request, code);
        EXPECT_EQ(reply.header.bits, 0x13u);
        EXPECT_EQ(reply.header.size, 36u);
        EXPECT_EQ(reply.header.remotePort, 0x777u);
        EXPECT_EQ(reply.header.localPort, mach::kPortNull);
        EXPECT_EQ(reply.header.id, 2505);
        EXPECT_EQ(std::memcmp(&reply.ndr, &request.ndr, sizeof reply.ndr), 0);
        EXPECT_EQ(reply.returnCode, code);
    }
}

// The whole road in a child process: restoring the earlier signal handlers would otherwise
// take the test program's own away. The child writes what it saw to a file.
TEST_F(CRSMachExceptionTest, TheServerRecordsTheFirstExceptionRestoresThePortsAndReplies) {
    const std::filesystem::path summary = root() / "summary.json";
    const int exitCode = test::exitCodeOfChild([&] {
        CRSMachExceptionInit(&context);
        if (!context.threadStarted) return 2;
        ports.post(exception(kBadAccess, {1, 0x10}));
        ports.post(exception(kBadAccess, {1, 0x10}, 0x999));
        ports.close();
        if (!ports.waitForReplies(2, std::chrono::seconds(10))) return 3;
        nlohmann::json seen;
        for (const auto& reply : ports.replies()) {
            seen["replies"].push_back({reply.header.bits, reply.header.size,
                                       reply.header.remotePort, reply.header.id, reply.returnCode});
        }
        for (int type : {1, 2, 3, 6, 12}) {
            seen["ports"].push_back(ports.registration(type).port);
        }
        std::ofstream(summary) << seen.dump();
        return 0;
    });
    ASSERT_EQ(exitCode, 0);
    std::ifstream in(summary);
    const nlohmann::json seen = nlohmann::json::parse(in);
    // The first is recorded and answered with success; the second, from another task, with
    // failure.
    EXPECT_EQ(seen["replies"],
              (nlohmann::json{{0x13, 36, 0x777, 2505, 0}, {0x13, 36, 0x777, 2505, 5}}));
    EXPECT_EQ(seen["ports"], (nlohmann::json{0x55, 0, 0x55, 0x66, 0}));
    const auto written = sections();
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written[0]["mach_exception"]["name"], "EXC_BAD_ACCESS");
    std::size_t records = 0;
    for (const auto& section : written) records += section.contains("mach_exception") ? 1 : 0;
    EXPECT_EQ(records, 1u);
    const std::string log = sdkLog();
    for (const char* line :
         {"Accepted mach exception message", "Mach exception: 0x1, count: 2, code: 0x1 0x10",
          "Unregistering handler", "Restoring original signal handlers", "Recording mach exception",
          "Sending exception reply", "Exception reply delivered"}) {
        EXPECT_TRUE(log.find(line) != std::string::npos) << line << "\n" << log;
    }
}

TEST_F(CRSMachExceptionTest, TheServerEndsWhenReceivingOrReplyingFails) {
    ASSERT_TRUE(CRSMachExceptionRegister(&context));
    struct Case {
        bool replyFails;
        const char* line;
    };
    for (const Case& c : {Case{false, "Error receiving mach_msg (268451845)"},
                          Case{true, "mach_msg reply failed (3)"}}) {
        SCOPED_TRACE(c.line);
        FakeExceptionPorts queue;
        mach::installExceptionPortsBackend(&queue);
        if (c.replyFails) {
            queue.failNext(Call::send, 3);
            // From another task: answered with failure, nothing else touched.
            queue.post(exception(kBadAccess, {}, 0x999));
        } else {
            queue.close();
        }
        std::thread server(CRSMachExceptionServer, &context);
        server.join();  // ends by itself: the queue is closed or the reply fails
        EXPECT_TRUE(queue.replies().empty());
        const std::string log = sdkLog();
        const std::size_t failure = log.find(c.line);
        EXPECT_NE(failure, std::string::npos) << log;
        EXPECT_NE(log.find("Mach exception server thread exiting", failure), std::string::npos);
        if (c.replyFails) {
            EXPECT_NE(log.find("Mach exception: 0x1, count: 0, code: 0xffffffffffffffff "
                               "0xffffffffffffffff"),
                      std::string::npos);
        }
    }
}

TEST_F(CRSMachExceptionTest, ASecondCrashEndsTheProcessWithStatusOne) {
    const int exitCode = test::exitCodeOfChild([&] {
        CRSContextCompleteInitialization();
        if (CRSContextMarkAndCheckIfCrashed()) return 2;  // the first crash, recorded elsewhere
        CRSMachExceptionRecord(&context, exception(kBadAccess, {1, 0}));
        return 0;
    });
    EXPECT_EQ(exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace pex
