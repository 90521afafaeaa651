#include "BeaconTransport/TXPLibrary/TXPTransport.h"

#include <future>

#include <gtest/gtest.h>

#include "TXPFakeComponents.h"
#include "TXPLogCapture.h"
#include "TXPTestEvents.h"

namespace pex {
namespace {

struct SendResult {
    bool written = false;
    ErrorRef error;
};

class TXPTransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registrar->registerStorage(storage, 1001);
        registrar->targetToStorage();  // registered before the first send
    }
    std::shared_ptr<TXPTransport> transport(TXPTransformer::Transformers transformers = {},
                                            std::int64_t target = 1001) {
        return TXPTransport::make("1974", std::move(transformers), target, transformer);
    }
    static std::function<void(bool, ErrorRef)> into(std::promise<SendResult>& result) {
        return [&result](bool written, ErrorRef error) { result.set_value({written, error}); };
    }

    // The application outlives every send, as the real one does: a send's background task is
    // ended after its completion has run.
    static test::FakeApplication& sharedApplication() {
        static auto* application = new test::FakeApplication;
        return *application;
    }
    test::FakeApplication& application = sharedApplication();
    std::shared_ptr<TXPRegistrar> registrar = TXPRegistrar::make();
    std::shared_ptr<test::RecordingStorage> storage = std::make_shared<test::RecordingStorage>();
    std::shared_ptr<TXPTransformer> transformer =
        std::make_shared<TXPTransformer>(application, registrar);
};

class DroppingTransformer : public TXPEventTransformer {
  public:
    std::optional<TXPEvent> transformTXEvent(TXPEvent) override { return std::nullopt; }
};

class RetieringTransformer : public TXPEventTransformer {
  public:
    std::optional<TXPEvent> transformTXEvent(TXPEvent event) override {
        event.setQosTier(TXPEventTierWifi);
        return event;
    }
};

TEST_F(TXPTransportTest, ABadMappingIdOrTargetMakesNoTransport) {
    struct Case {
        std::string mappingID;
        std::int64_t target;
        const char* message;
    };
    const Case cases[] = {{"", 1001, "A mapping ID cannot be nil or empty"},
                          {"1974", 0, "A target cannot be negative or 0"},
                          {"1974", -1, "A target cannot be negative or 0"}};
    for (const Case& c : cases) {
        test::TXPLogCapture capture;
        EXPECT_EQ(TXPTransport::make(c.mappingID, {}, c.target, transformer), nullptr);
        EXPECT_TRUE(capture.contains(c.message)) << c.message;
    }
    auto shared = TXPTransport::make("1206", {}, 1002);
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->transformerInstance(), TXPTransformer::sharedInstance());
    TXPEvent event = shared->eventForTransportWithProductData(TXPProductData(3));
    EXPECT_EQ(event.mappingID(), "1206");
    EXPECT_EQ(event.target(), 1002);
    EXPECT_EQ(event.productData(), TXPProductData(3));
}

TEST_F(TXPTransportTest, SendsAreStoredInSendOrderAsStampedCopies) {
    auto sender = transport();
    const int endedBefore = application.ended;
    std::vector<std::string> sent;
    std::promise<SendResult> last;
    for (int i = 0; i < 50; ++i) {
        TXPEvent event = sender->eventForTransport();
        event.setDataObject(std::make_shared<test::BytesDataObject>(std::to_string(i)));
        sent.push_back(event.eventID());
        if (i == 49)
            sender->sendDataEvent(event, into(last));
        else
            sender->sendDataEvent(event);
        EXPECT_FALSE(event.clockSnapshot());  // the producer's event is not stamped
    }
    EXPECT_TRUE(last.get_future().get().written);
    std::vector<TXPEvent> stored = storage->stored();
    ASSERT_EQ(stored.size(), 50u);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(stored[i].eventID(), sent[i]);
        EXPECT_TRUE(stored[i].clockSnapshot());
        EXPECT_EQ(stored[i].serializedDataObjectBytes(), std::to_string(i));
    }
    // Each send's background task was ended once it completed.
    transformer->eventWritingQueue().sync([] {});  // the last send's task ends after its completion
    EXPECT_EQ(application.ended - endedBefore, 50);
}

TEST_F(TXPTransportTest, TiersOfTelemetryAndDataEvents) {
    auto sender = transport();
    TXPEvent telemetry = test::makeEvent("1974", 1001, "t", TXPEventTierImmediate);
    std::promise<SendResult> first;
    sender->sendTelemetryEvent(telemetry, into(first));
    EXPECT_EQ(telemetry.qosTier(), TXPEventTierTelemetry);  // overwritten on the producer's event
    first.get_future().get();

    test::TXPLogCapture capture;
    TXPEvent data = test::makeEvent("1974", 1001, "d", TXPEventTierTelemetry);
    std::promise<SendResult> second;
    sender->sendDataEvent(data, into(second));
    EXPECT_TRUE(second.get_future().get().written);
    EXPECT_TRUE(capture.contains("Use -sendTelemetryEvent, please."));
    ASSERT_EQ(storage->stored().size(), 2u);
    EXPECT_EQ(storage->stored()[0].qosTier(), TXPEventTierTelemetry);
    EXPECT_EQ(storage->stored()[1].qosTier(), TXPEventTierTelemetry);
}

TEST_F(TXPTransportTest, TransformersChangeOrDropTheEvent) {
    std::promise<SendResult> changed;
    transport({std::make_shared<RetieringTransformer>()})
        ->sendDataEvent(test::makeEvent("1974", 1001), into(changed));
    EXPECT_TRUE(changed.get_future().get().written);
    ASSERT_EQ(storage->stored().size(), 1u);
    EXPECT_EQ(storage->stored()[0].qosTier(), TXPEventTierWifi);

    std::promise<SendResult> dropped;
    transport({std::make_shared<RetieringTransformer>(), std::make_shared<DroppingTransformer>()})
        ->sendDataEvent(test::makeEvent("1974", 1001), into(dropped));
    SendResult result = dropped.get_future().get();
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.error);

    test::TXPLogCapture capture;
    std::promise<SendResult> missing;
    transport({nullptr})->sendDataEvent(test::makeEvent("1974", 1001), into(missing));
    result = missing.get_future().get();
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.error);
    EXPECT_TRUE(capture.contains("[BeaconTransport][I-TXP001000] Transformer doesn't implement"));
    EXPECT_EQ(storage->stored().size(), 1u);
}

TEST_F(TXPTransportTest, ATargetWithoutStorageCompletesWithAnError) {
    std::promise<SendResult> result;
    transport({}, 4711)->sendDataEvent(test::makeEvent("1974", 4711), into(result));
    auto future = result.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    SendResult outcome = future.get();
    EXPECT_FALSE(outcome.written);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), "TXPTransformer");
}

}  // namespace
}  // namespace pex
