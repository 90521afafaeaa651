// The answer stream against the local stand-in service over real HTTP. Scripted replies go out
// in exactly the pieces a case names, so each case pins the chunk boundaries the client sees.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "audio/StreamingClient.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/URLSession.h"
#include "service/ApiBaseURL.h"
#include "service/HttpDatas.h"
#include "service/SessionExpiryHandler.h"
#include "service/SettingsStore.h"
#include "standin-service/RawHttpCapture.h"
#include "standin-service/ScriptedStream.h"
#include "support/SignedInClientTest.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Fault;
using standin::ScriptedStream;

// One "data: " line carrying `content`, with its LF.
std::string line(const std::string& content) {
    return "data: " + json{{"data", {{"content", content}}}}.dump() + "\n";
}

// What a stream handed its caller, gathered from the delegate queue.
struct Observed {
    std::mutex mutex;
    std::vector<std::string> updates;
    std::vector<std::string> chunks;
    int completions = 0;
    std::int64_t completedId = -1;
    std::string completedText;
    StreamOutcome outcome = StreamOutcome::finished;
    bool onDelegateQueue = true;

    bool completed() {
        std::lock_guard lock(mutex);
        return completions > 0;
    }
    std::size_t updateCount() {
        std::lock_guard lock(mutex);
        return updates.size();
    }
};

// The real client; it also reports each chunk to the scripted reply so the next piece may go.
class ObservedClient : public StreamingClient {
  public:
    ObservedClient(StreamModel model, std::shared_ptr<Observed> observed,
                   std::shared_ptr<ScriptedStream> stream)
        : StreamingClient(std::move(model)),
          observed_(std::move(observed)),
          stream_(std::move(stream)) {}

    void handleReceivedData(std::string_view chunk) override {
        {
            std::lock_guard lock(observed_->mutex);
            observed_->chunks.emplace_back(chunk);
        }
        StreamingClient::handleReceivedData(chunk);
        if (stream_) stream_->received(chunk.size());
    }

  private:
    std::shared_ptr<Observed> observed_;
    std::shared_ptr<ScriptedStream> stream_;
};

class CountingLogin : public SessionExpiryHandler {
  public:
    void presentLogin(const std::function<void()>& clearStoredLogin) override {
        clearStoredLogin();
        ++opened;
    }
    bool isLoginPresented() const override { return false; }
    int opened = 0;
};

class AnswerStream : public test::SignedInClientTest {
  protected:
    ~AnswerStream() override {
        MainQueue::drain();
        HttpDatas::shared().setSessionExpiryHandler(nullptr);
    }

    StreamModel question(const std::shared_ptr<Observed>& observed) {
        StreamModel model;
        model.id = 42;
        model.type = 1;
        model.txt = "请介绍一下你自己";
        model.role = "后端开发工程师";
        model.original_language = "中文（普通话）";
        model.trans_language = "英语（美国）";
        model.onUpdate = [observed,
                          queue = std::make_shared<std::string>()](const std::string& text) {
            std::lock_guard lock(observed->mutex);
            observed->updates.push_back(text);
        };
        model.didComplete = [observed](std::int64_t id, const std::string& text,
                                       StreamOutcome outcome) {
            std::lock_guard lock(observed->mutex);
            ++observed->completions;
            observed->completedId = id;
            observed->completedText = text;
            observed->outcome = outcome;
        };
        return model;
    }

    std::shared_ptr<ObservedClient> makeClient(std::shared_ptr<Observed> observed,
                                               std::shared_ptr<ScriptedStream> stream = nullptr) {
        auto client = std::make_shared<ObservedClient>(question(observed), observed, stream);
        client->model.onUpdate = [inner = client->model.onUpdate, observed,
                                  queue = client->delegateQueue()](const std::string& text) {
            if (!queue.isCurrent()) {
                std::lock_guard lock(observed->mutex);
                observed->onDelegateQueue = false;
            }
            inner(text);
        };
        return client;
    }

    // Runs one stream to its end; the main queue runs meanwhile (the login path posts there).
    std::shared_ptr<Observed> run(std::shared_ptr<ScriptedStream> stream) {
        if (stream) {
            service_.addApiPath("POST", StreamingClient::kPath,
                                [stream](const standin::Call&) { return stream->reply(); });
        }
        auto observed = std::make_shared<Observed>();
        std::weak_ptr<StreamingClient> weak;
        {
            auto client = makeClient(observed, stream);
            weak = client;
            client->start();
        }
        EXPECT_TRUE(test::runMainUntil([&] { return observed->completed(); }));
        // The client lets go of itself once the stream has ended: no callback can follow.
        EXPECT_TRUE(test::runMainUntil([&] { return weak.expired(); }));
        return observed;
    }
};

TEST_F(AnswerStream, ChunkingsOfTheReply) {
    const std::string a = line("第一句，"), b = line("第二句。"), c = line("第三句");
    const std::string split = line("你好");  // cut inside a three-byte character below
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> updates;
        StreamOutcome outcome = StreamOutcome::finished;
        bool dropAfterFirstPiece = false;
    };
    const std::vector<Case> cases = {
        {"one line per chunk", {a, b}, {"第一句，", "第一句，第二句。"}},
        {"a line split across chunks",
         {a.substr(0, 10), a.substr(10) + b.substr(0, 3), b.substr(3)},
         {"第一句，", "第一句，第二句。"}},
        {"several lines in one chunk",
         {a + b + c},
         {"第一句，", "第一句，第二句。", "第一句，第二句。第三句"}},
        {"a character cut between chunks", {split.substr(0, 28), split.substr(28)}, {"你好"}},
        {"lines behind the marker go on at once",
         {a + line("@@") + b + c, line("尾")},
         {"第一句，", "第一句，第二句。", "第一句，第二句。第三句", "第一句，第二句。第三句尾"}},
        {"a last line without LF",
         {a, b.substr(0, b.size() - 1)},
         {"第一句，", "第一句，第二句。"}},
        {"the answer may itself hold the prefix",
         {line("data: 是答案的一部分")},
         {"data: 是答案的一部分"}},
        {"lines that are not answer pieces are skipped",
         {"data:" + a.substr(6), "event: ping\n\n", "data: not json\n", "data: [1,2]\n",
          "data: {\"data\":\"x\"}\n", "data: {\"data\":{\"content\":7}}\n",
          "data: {\"data\":{\"content\":\"\xff\xfe\"}}\n", b},
         {"第二句。"}},
        {"CRLF line ends", {"data: {\"data\":{\"content\":\"甲\"}}\r\n\r\n"}, {"甲"}},
        {"a dropped connection keeps what arrived",
         {a + "data: {\"data\":{\"con"},
         {"第一句，"},
         StreamOutcome::failed,
         true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        if (test.dropAfterFirstPiece) {
            service_.setFault(StreamingClient::kPath, Fault::brokenStream());
        } else {
            service_.clearFaults();
        }
        auto stream = std::make_shared<ScriptedStream>(test.pieces);
        const auto observed = run(stream);
        std::lock_guard lock(observed->mutex);
        EXPECT_EQ(observed->updates, test.updates);
        EXPECT_EQ(observed->completions, 1);
        EXPECT_EQ(observed->completedId, 42);
        EXPECT_EQ(observed->completedText, test.updates.empty() ? "" : test.updates.back());
        EXPECT_EQ(observed->outcome, test.outcome);
        EXPECT_TRUE(observed->onDelegateQueue);
        // The cuts the client saw are the cuts of the script.
        if (!test.dropAfterFirstPiece) {
            EXPECT_EQ(observed->chunks, test.pieces);
        }
    }
}

TEST_F(AnswerStream, TheRequestCarriesTheQuestionWithTheServicesHeaders) {
    const auto observed = run(nullptr);  // the stand-in's own answer
    const auto requests = service_.requests(StreamingClient::kPath);
    ASSERT_EQ(requests.size(), 1u);
    const auto& sent = requests[0];
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("platform"), "4");
    EXPECT_EQ(sent.header("lan"), "zh-Hans");
    EXPECT_EQ(sent.header("Accept"), "application/json");
    EXPECT_EQ(sent.header("Content-Type"), "application/json");
    EXPECT_EQ(sent.header("Version"), HttpDatas::versionHeader());
    EXPECT_EQ(sent.header("Authorization"),
              "Bearer " + SettingsStore::string(SettingsKeys::loginToken).value_or("?"));
    EXPECT_EQ(sent.body,
              R"({"type":1,"txt":"请介绍一下你自己","prompt":"后端开发工程师",)"
              R"("original_language":"中文（普通话）","trans_language":"英语（美国）"})");
    // The demo answer speaks of the question, in many pieces.
    std::lock_guard lock(observed->mutex);
    EXPECT_GT(observed->updates.size(), 5u);
    EXPECT_NE(observed->completedText.find("请介绍一下你自己"), std::string::npos);
    EXPECT_NE(observed->completedText.find("后端开发工程师"), std::string::npos);
    EXPECT_EQ(observed->outcome, StreamOutcome::finished);
}

TEST_F(AnswerStream, HeadersGoOutInTheirOrderAndWithoutATokenNoAuthorization) {
    standin::RawHttpCapture capture(line("好"));
    setApiBaseURL(capture.origin() + "/api/v1");
    const auto withToken = run(nullptr);
    SettingsStore::remove(SettingsKeys::loginToken);
    const auto withoutToken = run(nullptr);
    const auto heads = capture.heads();
    ASSERT_EQ(heads.size(), 2u);
    auto ours = [](const std::string& head) {
        std::vector<std::string> names;
        for (const auto& name : standin::RawHttpCapture::headerNames(head)) {
            if (name == "Version" || name == "Accept" || name == "Content-Type" ||
                name == "platform" || name == "lan" || name == "Authorization") {
                names.push_back(name);
            }
        }
        return names;
    };
    EXPECT_EQ(ours(heads[0]), (std::vector<std::string>{"Version", "Accept", "Content-Type",
                                                        "platform", "lan", "Authorization"}));
    EXPECT_EQ(ours(heads[1]),
              (std::vector<std::string>{"Version", "Accept", "Content-Type", "platform", "lan"}));
    EXPECT_EQ(heads[0].rfind("POST /api/v1/ai/meet HTTP/1.1\r\n", 0), 0u);
    std::lock_guard lock(withToken->mutex);
    EXPECT_EQ(withToken->completedText, "好");
}

TEST_F(AnswerStream, CancelMidStreamCompletesOnceWithTheTextSoFar) {
    auto stream = std::make_shared<ScriptedStream>(
        std::vector<std::string>{line("甲"), line("乙"), line("丙")});
    service_.addApiPath("POST", StreamingClient::kPath,
                        [stream](const standin::Call&) { return stream->reply(); });
    auto observed = std::make_shared<Observed>();
    // Not the observed client: the second piece must not be let go before the cancel.
    auto client = StreamingClient::create(question(observed));
    std::weak_ptr<StreamingClient> weak = client;
    client->start();
    ASSERT_TRUE(test::runMainUntil([&] { return observed->updateCount() == 1; }));
    client->cancel();
    EXPECT_TRUE(client->isCancelled());
    client.reset();
    stream->received(1 << 20);  // the server may go on; the client no longer reads
    ASSERT_TRUE(test::runMainUntil([&] { return weak.expired(); }));
    std::lock_guard lock(observed->mutex);
    EXPECT_EQ(observed->completions, 1);
    EXPECT_EQ(observed->completedText, "甲");
    EXPECT_EQ(observed->outcome, StreamOutcome::cancelled);
}

TEST_F(AnswerStream, CancelBeforeStartStillCompletesOnce) {
    auto observed = std::make_shared<Observed>();
    auto client = StreamingClient::create(question(observed));
    client->cancel();
    client->start();
    client->start();
    std::weak_ptr<StreamingClient> weak = client;
    client.reset();
    ASSERT_TRUE(test::runMainUntil([&] { return observed->completed() && weak.expired(); }));
    std::lock_guard lock(observed->mutex);
    EXPECT_EQ(observed->completions, 1);
    EXPECT_EQ(observed->outcome, StreamOutcome::cancelled);
    EXPECT_TRUE(service_.requests(StreamingClient::kPath).empty());
}

TEST_F(AnswerStream, AnErrorStatusIsAFailedStreamWhateverItsBody) {
    const std::vector<Fault> faults = {
        Fault::serverError(true), Fault::serverError(false),
        Fault::httpStatus(502, line("网关错误的页面"), "text/event-stream")};
    for (const Fault& fault : faults) {
        service_.setFault(StreamingClient::kPath, fault);
        const auto observed = run(nullptr);
        std::lock_guard lock(observed->mutex);
        EXPECT_TRUE(observed->updates.empty());
        EXPECT_EQ(observed->completedText, "");
        EXPECT_EQ(observed->completions, 1);
        EXPECT_EQ(observed->outcome, StreamOutcome::failed);
    }
}

TEST_F(AnswerStream, AnExpiredLoginFailsTheStreamAndEndsTheLogin) {
    auto login = std::make_shared<CountingLogin>();
    HttpDatas::shared().setSessionExpiryHandler(login);
    service_.setFault(StreamingClient::kPath, Fault::unauthorized());
    const auto observed = run(nullptr);
    ASSERT_TRUE(test::runMainUntil([&] { return login->opened == 1; }));
    EXPECT_FALSE(SettingsStore::string(SettingsKeys::loginToken).has_value());
    std::lock_guard lock(observed->mutex);
    EXPECT_EQ(observed->outcome, StreamOutcome::failed);
    EXPECT_EQ(observed->completions, 1);
}

TEST_F(AnswerStream, AnAddressThatIsNoURLEndsTheStreamAsFailed) {
    for (const char* base : {"", "not an address", "ftp://127.0.0.1/api/v1"}) {
        SCOPED_TRACE(base);
        setApiBaseURL(base);
        const auto observed = run(nullptr);
        std::lock_guard lock(observed->mutex);
        EXPECT_EQ(observed->completions, 1);
        EXPECT_EQ(observed->outcome, StreamOutcome::failed);
    }
    EXPECT_TRUE(service_.requests().empty());
}

TEST_F(AnswerStream, AnAnswerStopsAtItsLimitOnACharacterBoundaryAndKeepsWhatCame) {
    constexpr std::size_t kLimit = StreamingClient::kMaxAnswerBytes;
    struct Case {
        std::string character;
        int perPiece;      // characters in each piece
        std::size_t kept;  // bytes of answer kept
    };
    const std::vector<Case> cases = {
        {"a", 1024, kLimit},                // the limit ends a piece exactly
        {"答", 1000, kLimit - kLimit % 3},  // the limit falls inside a three-byte character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.character);
        std::string piece;
        for (int i = 0; i < c.perPiece; ++i) piece += c.character;
        const std::size_t pieces = kLimit / piece.size() + 5;
        service_.addApiPath("POST", StreamingClient::kPath, [piece, pieces](const standin::Call&) {
            return standin::Reply::stream(std::vector<std::string>(pieces, line(piece)));
        });
        std::string expected;
        while (expected.size() < c.kept) expected += c.character;
        const auto observed = run(nullptr);
        std::lock_guard lock(observed->mutex);
        EXPECT_EQ(observed->outcome, StreamOutcome::finished);
        EXPECT_EQ(observed->completedText, expected);
        // Nothing is announced past the limit.
        ASSERT_FALSE(observed->updates.empty());
        EXPECT_EQ(observed->updates.back(), expected);
        EXPECT_EQ(observed->updates.size(), (c.kept + piece.size() - 1) / piece.size());
    }
}

// A service that goes on sending past the limit (here with comment lines, which add no text)
// would hold the stream for as long as it likes: the client closes it once the answer is full.
TEST_F(AnswerStream, AnAnswerAtItsLimitClosesTheStreamTheServiceHoldsOpen) {
    constexpr std::size_t kLimit = StreamingClient::kMaxAnswerBytes;
    const std::string piece(1024, 'a');
    struct Held {
        std::size_t sent = 0;  // the stand-in's service thread only
        std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
        std::atomic<bool> closedByClient{false};
    };
    auto held = std::make_shared<Held>();
    service_.addApiPath("POST", StreamingClient::kPath, [held, piece](const standin::Call&) {
        standin::Reply reply =
            standin::Reply::produced([held, piece]() -> std::optional<std::string> {
                if (held->sent++ < kLimit / piece.size() + 8) return line(piece);
                // Held open at the stand-in's pace, for half a minute at most.
                if (std::chrono::steady_clock::now() - held->since > std::chrono::seconds(30))
                    return std::nullopt;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return std::string(":\n");
            });
        reply.onEnd = [held](bool whole) { held->closedByClient.store(!whole); };
        return reply;
    });
    const auto observed = run(nullptr);
    EXPECT_TRUE(test::runMainUntil([&] { return held->closedByClient.load(); }));
    std::lock_guard lock(observed->mutex);
    EXPECT_EQ(observed->completions, 1);
    EXPECT_EQ(observed->outcome, StreamOutcome::finished);
    EXPECT_EQ(observed->completedText, std::string(kLimit, 'a'));
}

}  // namespace
}  // namespace pex
