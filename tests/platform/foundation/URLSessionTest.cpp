// The URL session against the local stand-in service over real HTTP on 127.0.0.1.
#include "platform/foundation/URLSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

#include <gtest/gtest.h>

#include "platform/foundation/MainQueue.h"
#include "platform/foundation/StandardFolders.h"
#include "standin-service/RawHttpCapture.h"
#include "standin-service/StandinService.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using standin::Call;
using standin::Fault;
using standin::Reply;
using standin::StandinService;
using namespace std::chrono_literals;

// A port on 127.0.0.1 that nothing listens on.
int closedPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

std::uint32_t crcOf(const std::string& bytes) {
    return static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Lets a streamed reply go on only when the test says so.
class Gate {
  public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool waitOpen() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

class URLSessionTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        MainQueue::adoptCurrentThreadAsMain();
        ASSERT_NE(service_.start(), 0);
    }

    // Runs a data task to its end on the main queue.
    URLDataResult fetch(URLRequest request, URLSession& session = URLSession::shared()) {
        std::optional<URLDataResult> outcome;
        session
            .dataTask(std::move(request), DispatchQueue::main(),
                      [&](URLDataResult result) {
                          EXPECT_TRUE(MainQueue::isMainThread());
                          outcome = std::move(result);
                      })
            ->resume();
        EXPECT_TRUE(test::runMainUntil([&] { return outcome.has_value(); }));
        return outcome.value_or(URLDataResult{});
    }

    std::string api(const std::string& path) const { return service_.apiBase() + path; }

    StandinService service_;
};

TEST_F(URLSessionTest, DataTaskDeliversStatusHeadersAndBodyOnTheNamedQueue) {
    const auto result = fetch(URLRequest(api("/country/list")));
    ASSERT_FALSE(result.error) << result.error->debugDescription();
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_EQ(result.response->statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(result.response->url, api("/country/list"));
    EXPECT_NE(result.response->value("content-type").value_or("").find("application/json"),
              std::string::npos);
    const auto body = nlohmann::json::parse(result.data);
    EXPECT_EQ(body["data"][0]["name_zn"], "中国");

    // A serial queue of the caller's gets the completion on that queue.
    const DispatchQueue serial = DispatchQueue::serial("test.urlsession.results");
    std::atomic<bool> onSerial{false}, done{false};
    URLSession::shared()
        .dataTask(URLRequest(api("/operation/version")), serial,
                  [&](URLDataResult) {
                      onSerial = serial.isCurrent();
                      done = true;
                  })
        ->resume();
    ASSERT_TRUE(test::runMainUntil([&] { return done.load(); }));
    EXPECT_TRUE(onSerial);
}

TEST_F(URLSessionTest, MethodsAndBodiesReachTheServer) {
    struct Case {
        const char* method;
        std::string body;
    };
    for (const Case& c :
         {Case{"POST", R"({"a":1})"}, Case{"PUT", ""}, Case{"PATCH", "x=1"}, Case{"DELETE", ""}}) {
        service_.addApiPath(c.method, "/echo", [](const Call& call) {
            return Reply::json(200, {{"method", call.method}, {"body", call.body}});
        });
        URLRequest request(api("/echo"), c.method);
        request.httpBody = c.body;
        const auto result = fetch(request);
        ASSERT_FALSE(result.error) << c.method;
        const auto echoed = nlohmann::json::parse(result.data);
        EXPECT_EQ(echoed["method"], c.method);
        EXPECT_EQ(echoed["body"], c.body) << c.method;
    }
}

TEST_F(URLSessionTest, HeadersGoOutInTheGivenOrderWithEmptyValuesKept) {
    standin::RawHttpCapture capture;
    URLRequest request(capture.origin() + "/x", "POST");
    request.headers = {{"Version", "1.0"},
                       {"Accept", "application/json"},
                       {"lan", ""},
                       {"Authorization", "Bearer t"}};
    request.setValue("application/json", "content-type");  // appended once
    request.setValue("zh-Hans", "LAN");                    // replaces in place
    ASSERT_FALSE(fetch(request).error);
    const auto heads = capture.heads();
    ASSERT_EQ(heads.size(), 1u);
    std::vector<std::string> sent;
    for (const auto& name : standin::RawHttpCapture::headerNames(heads[0])) {
        if (name == "Version" || name == "Accept" || name == "lan" || name == "Authorization" ||
            name == "content-type") {
            sent.push_back(name);
        }
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"Version", "Accept", "lan", "Authorization",
                                              "content-type"}));
    EXPECT_NE(heads[0].find("lan: zh-Hans\r\n"), std::string::npos);
}

TEST_F(URLSessionTest, HeaderThatWouldBreakTheHeadIsRefusedNotSent) {
    standin::RawHttpCapture capture;
    const HTTPHeader unsafe[] = {
        {"Authorization", "Bearer t\r\nX-Injected: 1"},
        {"Authorization", "Bearer t\nX-Injected: 1"},
        {"Authorization", std::string("Bearer t") + '\0' + "X-Injected: 1"},
        {"X-Injected: 1\r\nlan", "zh-Hans"},
        {"", "value"},
    };
    for (const HTTPHeader& header : unsafe) {
        URLRequest request(capture.origin() + "/x");
        request.headers = {{"Accept", "application/json"}, header};
        const auto result = fetch(request);
        ASSERT_TRUE(result.error) << header.name;
        EXPECT_EQ(result.error->code, URLError::Code::Other) << header.name;
    }
    EXPECT_TRUE(capture.heads().empty());
}

TEST_F(URLSessionTest, HeadRequestGetsTheHeadOnly) {
    const auto result = fetch(URLRequest(service_.origin() + "/meeting-network.json", "HEAD"));
    ASSERT_FALSE(result.error);
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_TRUE(result.data.empty());
    EXPECT_EQ(service_.requests("/meeting-network.json").back().method, "HEAD");
}

TEST_F(URLSessionTest, HttpErrorStatusIsAReplyNotAnError) {
    service_.setFault("/user/info", Fault::serverError(false));
    const auto result = fetch(URLRequest(api("/user/info")));
    EXPECT_FALSE(result.error);
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 500);
    EXPECT_EQ(result.data, "Internal Server Error");
}

TEST_F(URLSessionTest, FailuresCarryTheirURLLoadingCode) {
    service_.setFault("/slow", Fault::slow(10s));
    service_.setFault("/dropped", Fault::droppedConnection());
    struct Case {
        std::string url;
        std::chrono::milliseconds timeout;
        URLError::Code expected;
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + std::to_string(closedPort()) + "/x", 5s,
         URLError::Code::CannotConnectToHost},
        {api("/slow"), 300ms, URLError::Code::TimedOut},
        {api("/dropped"), 5s, URLError::Code::NetworkConnectionLost},
        {"ftp://127.0.0.1/file", 5s, URLError::Code::BadURL},
        {"not a url", 5s, URLError::Code::BadURL},
    };
    for (const Case& c : cases) {
        URLRequest request(c.url);
        request.timeoutInterval = c.timeout;
        const auto result = fetch(request);
        ASSERT_TRUE(result.error) << c.url;
        EXPECT_EQ(result.error->code, c.expected)
            << c.url << " " << result.error->debugDescription();
        EXPECT_FALSE(result.error->localizedDescription.empty());
        EXPECT_EQ(result.error->failingURL, c.url);
    }
}

TEST_F(URLSessionTest, CancelEndsTheTaskOnceWithCancelled) {
    service_.setFault("/slow", Fault::slow(10s));
    int calls = 0;
    std::optional<URLError> error;
    auto task = URLSession::shared().dataTask(URLRequest(api("/slow")), DispatchQueue::main(),
                                              [&](URLDataResult result) {
                                                  ++calls;
                                                  error = result.error;
                                              });
    task->resume();
    ASSERT_TRUE(test::runMainUntil([&] { return !service_.requests("/slow").empty(); }));
    task->cancel();
    task->cancel();
    ASSERT_TRUE(test::runMainUntil([&] { return calls > 0; }));
    MainQueue::drain();
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, URLError::Code::Cancelled);
    EXPECT_EQ(task->state(), URLSessionTask::State::Completed);

    // Cancelled before it ever started: it still ends, once.
    int early = 0;
    auto never = URLSession::shared().dataTask(
        URLRequest(api("/country/list")), DispatchQueue::main(), [&](URLDataResult result) {
            ++early;
            EXPECT_EQ(result.error->code, URLError::Code::Cancelled);
        });
    never->cancel();
    never->resume();
    ASSERT_TRUE(test::runMainUntil([&] { return early > 0; }));
    MainQueue::drain();
    EXPECT_EQ(early, 1);
}

TEST_F(URLSessionTest, InvalidatedSessionCancelsRunningAndLaterTasks) {
    service_.setFault("/slow", Fault::slow(10s));
    URLSession session;
    std::optional<URLDataResult> running;
    session
        .dataTask(URLRequest(api("/slow")), DispatchQueue::main(),
                  [&](URLDataResult result) { running = std::move(result); })
        ->resume();
    ASSERT_TRUE(test::runMainUntil([&] { return !service_.requests("/slow").empty(); }));
    session.invalidateAndCancel();
    ASSERT_TRUE(test::runMainUntil([&] { return running.has_value(); }));
    EXPECT_EQ(running->error->code, URLError::Code::Cancelled);
    EXPECT_EQ(fetch(URLRequest(api("/country/list")), session).error->code,
              URLError::Code::Cancelled);
}

TEST_F(URLSessionTest, StreamHandsOverEachChunkAsItArrives) {
    auto gate = std::make_shared<Gate>();
    service_.addApiPath("POST", "/stream", [gate](const Call&) {
        auto step = std::make_shared<int>(0);
        return Reply::produced([gate, step]() -> std::optional<std::string> {
            switch ((*step)++) {
                case 0:
                    return "data: first\n";
                // The second piece waits until the client has seen the first: a client that
                // held chunks back would never get here.
                case 1:
                    return gate->waitOpen() ? std::optional<std::string>("data: second\n")
                                            : std::nullopt;
                default:
                    return std::nullopt;
            }
        });
    });
    std::vector<std::string> events;
    bool finished = false;
    URLStreamHandlers handlers;
    handlers.onResponse = [&](const HTTPURLResponse& response) {
        events.push_back("response " + std::to_string(response.statusCode));
    };
    handlers.onData = [&](std::string chunk) {
        events.push_back(chunk);
        if (chunk == "data: first\n") gate->open();
    };
    handlers.onComplete = [&](std::optional<URLError> error) {
        events.push_back(error ? "error" : "end");
        finished = true;
    };
    URLSession::shared()
        .streamTask(URLRequest(api("/stream"), "POST"), DispatchQueue::main(), handlers)
        ->resume();
    ASSERT_TRUE(test::runMainUntil([&] { return finished; }));
    EXPECT_EQ(events,
              (std::vector<std::string>{"response 200", "data: first\n", "data: second\n", "end"}));
}

TEST_F(URLSessionTest, BrokenStreamEndsWithConnectionLostAfterWhatArrived) {
    service_.setFault("/stream", Fault::brokenStream());
    service_.addApiPath("GET", "/stream", [](const Call&) {
        return Reply::stream({"one\n", "two\n", "three\n", "four\n"});
    });
    std::string received;
    std::optional<std::optional<URLError>> ended;
    URLStreamHandlers handlers;
    handlers.onData = [&](std::string chunk) { received += chunk; };
    handlers.onComplete = [&](std::optional<URLError> error) { ended = error; };
    URLSession::shared()
        .streamTask(URLRequest(api("/stream")), DispatchQueue::main(), handlers)
        ->resume();
    ASSERT_TRUE(test::runMainUntil([&] { return ended.has_value(); }));
    ASSERT_TRUE(*ended);
    EXPECT_EQ((*ended)->code, URLError::Code::NetworkConnectionLost);
    EXPECT_EQ(received, "one\ntwo\n");
}

TEST_F(URLSessionTest, TimeOutCountsIdleTimeNotTheWholeTransfer) {
    service_.addApiPath("GET", "/trickle", [](const Call&) {
        auto sent = std::make_shared<int>(0);
        return Reply::produced([sent]() -> std::optional<std::string> {
            if (*sent == 12) return std::nullopt;
            if ((*sent)++ > 0) std::this_thread::sleep_for(100ms);
            return std::string("tick\n");
        });
    });
    URLRequest request(api("/trickle"));
    request.timeoutInterval = 800ms;  // shorter than the whole reply, longer than each pause
    const auto result = fetch(request);
    ASSERT_FALSE(result.error) << result.error->debugDescription();
    EXPECT_EQ(result.data.size(), 12 * std::string("tick\n").size());
}

TEST_F(URLSessionTest, UploadSendsTheFormFromMemoryOrFromATemporaryFile) {
    std::string content(50'000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
    const auto file = root() / "简历.docx";
    std::ofstream(file, std::ios::binary) << content;

    URLSessionConfiguration inMemory;
    URLSessionConfiguration throughFile;
    throughFile.multipartMemoryThreshold = 1000;  // this form is larger: streamed from a file
    for (const auto& configuration : {inMemory, throughFile}) {
        service_.clearRequests();
        URLSession session(configuration);
        MultipartFormData form;
        form.appendFile(file, "file", "a\"b\r\nc.docx", "application/pdf");
        form.append("file-extract", "purpose");
        std::optional<URLDataResult> outcome;
        session
            .uploadTask(URLRequest(service_.origin() + "/upload", "POST"), std::move(form),
                        DispatchQueue::main(),
                        [&](URLDataResult result) { outcome = std::move(result); })
            ->resume();
        ASSERT_TRUE(test::runMainUntil([&] { return outcome.has_value(); }));
        ASSERT_FALSE(outcome->error) << outcome->error->debugDescription();

        const auto requests = service_.requests("/upload");
        ASSERT_EQ(requests.size(), 1u);
        const auto& parts = requests[0].parts;
        ASSERT_EQ(parts.size(), 2u);
        EXPECT_EQ(parts[0].name, "file");
        // Quotes and line breaks in a file name cannot break out of the part's header.
        EXPECT_EQ(parts[0].fileName, "a%22b%0D%0Ac.docx");
        EXPECT_EQ(parts[0].contentType, "application/pdf");
        EXPECT_EQ(parts[0].size, content.size());
        EXPECT_EQ(parts[0].crc32, crcOf(content));
        EXPECT_EQ(parts[1].name, "purpose");
        EXPECT_EQ(parts[1].content, "file-extract");
        EXPECT_NE(requests[0].header("Content-Type").value_or("").find("multipart/form-data"),
                  std::string::npos);
        // The temporary body file is gone once the upload has ended.
        EXPECT_TRUE(std::filesystem::is_empty(StandardFolders::temporary()));
    }
}

TEST_F(URLSessionTest, UploadOfAMissingFileFailsWithoutSending) {
    MultipartFormData form;
    form.appendFile(root() / "missing.pdf", "file", "missing.pdf", "application/pdf");
    std::optional<URLDataResult> outcome;
    URLSession::shared()
        .uploadTask(URLRequest(service_.origin() + "/upload", "POST"), std::move(form),
                    DispatchQueue::main(),
                    [&](URLDataResult result) { outcome = std::move(result); })
        ->resume();
    ASSERT_TRUE(test::runMainUntil([&] { return outcome.has_value(); }));
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, URLError::Code::CannotReadFile);
    EXPECT_TRUE(service_.requests("/upload").empty());
}

TEST_F(URLSessionTest, RedirectsAreFollowedOnlyWithinTheirOrigin) {
    const int otherPort = service_.addListener();
    ASSERT_NE(otherPort, 0);
    service_.addApiPath("POST", "/moved-here", [](const Call&) { return Reply::ok("same"); });
    service_.addApiPath("POST", "/moved",
                        [](const Call&) { return Reply::redirect("/api/v1/moved-here", 307); });
    URLRequest request(api("/moved"), "POST");
    request.headers = {{"Authorization", "Bearer secret"}};
    request.httpBody = R"({"password":"pw-1"})";
    auto result = fetch(request);
    ASSERT_FALSE(result.error);
    EXPECT_EQ(result.response->url, api("/moved-here"));
    EXPECT_EQ(service_.requests("/moved-here").back().header("Authorization"), "Bearer secret");
    EXPECT_EQ(service_.requests("/moved-here").back().body, request.httpBody);

    // Another port, or another host name for the same address, is another origin: the body
    // (and everything else) stays home.
    for (const std::string& elsewhere :
         {service_.origin(otherPort) + "/api/v1/country/list",
          "http://localhost:" + std::to_string(service_.port()) + "/api/v1/country/list"}) {
        for (const int status : {302, 307, 308}) {
            service_.addApiPath("POST", "/moved-away", [elsewhere, status](const Call&) {
                return Reply::redirect(elsewhere, status);
            });
            service_.clearRequests();
            request.url = api("/moved-away");
            result = fetch(request);
            ASSERT_TRUE(result.error) << elsewhere << " " << status;
            EXPECT_TRUE(service_.requests("/country/list").empty()) << elsewhere;
            EXPECT_EQ(service_.requests().size(), 1u);
        }
    }
}

TEST_F(URLSessionTest, OversizedReplyFailsInsteadOfGrowingWithoutBound) {
    URLSessionConfiguration small;
    small.maximumDataSize = 100;
    URLSession session(small);
    const auto result = fetch(URLRequest(api("/country/list")), session);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, URLError::Code::ResponseTooLarge);
}

}  // namespace
}  // namespace pex
