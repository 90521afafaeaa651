#include "audio/StreamingClient.h"

#include <nlohmann/json.hpp>

#include "platform/foundation/MainQueue.h"
#include "platform/foundation/URLComponents.h"
#include "platform/foundation/URLSession.h"
#include "service/ApiBaseURL.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"

namespace pex {

namespace {

constexpr std::string_view kLinePrefix = "data: ";
constexpr std::string_view kMarker = "@@";

bool isSuccessStatus(long status) {
    return status >= 200 && status < 300;
}

// The longest prefix of `text` of at most `bytes` bytes that ends on a character boundary.
std::size_t utf8Prefix(std::string_view text, std::size_t bytes) {
    if (bytes >= text.size()) return text.size();
    // A continuation byte (10xxxxxx) at the cut belongs to the character before it.
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return bytes;
}

// Every answer stream goes through this one session. Its worker thread is already running when
// a question goes out (a session of each client's own would start a thread for every question,
// which a busy machine may take milliseconds to run), and the streams share its connections to
// the service. Never destroyed: streams may still end while the process exits.
URLSession& answerSession() {
    static URLSession* const session = [] {
        DispatchQueue::main();  // the queues results go to outlive it
        DispatchQueue::global();
        return new URLSession;
    }();
    return *session;
}

}  // namespace

std::shared_ptr<StreamingClient> StreamingClient::create(StreamModel model) {
    return std::shared_ptr<StreamingClient>(new StreamingClient(std::move(model)));
}

StreamingClient::StreamingClient(StreamModel streamModel)
    : model(std::move(streamModel)),
      delegateQueue_(DispatchQueue::serial("StreamingClient.delegate")) {}

StreamingClient::~StreamingClient() = default;

URLRequest StreamingClient::makeRequest(const StreamModel& model, const std::string& address) {
    URLRequest request(address, "POST");
    request.timeoutInterval = kTimeout;
    request.headers = {{"Version", HttpDatas::versionHeader()},
                       {"Accept", "application/json"},
                       {"Content-Type", "application/json"},
                       {"platform", "4"},
                       {"lan", "zh-Hans"}};
    if (const auto token = SettingsStore::string(SettingsKeys::loginToken)) {
        request.headers.push_back({"Authorization", "Bearer " + *token});
    }
    const nlohmann::ordered_json body = {{"type", model.type},
                                         {"txt", model.txt},
                                         {"prompt", model.role},
                                         {"original_language", model.original_language},
                                         {"trans_language", model.trans_language}};
    request.httpBody = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return request;
}

void StreamingClient::start() {
    std::lock_guard lock(taskMutex_);
    if (started_) return;
    started_ = true;
    // Cancelled before it started: nothing is sent, and the caller still gets its completion.
    if (isCancelled()) {
        delegateQueue_.async(
            [self = shared_from_this()] { self->complete(StreamOutcome::cancelled); });
        return;
    }

    const std::string address = apiBaseURL() + kPath;
    if (!URLComponents::parse(address)) {
        // Nothing can be sent, but the caller still waits for its one completion.
        consoleLog("❌ 流式请求地址无效：" + address);
        delegateQueue_.async(
            [self = shared_from_this()] { self->complete(StreamOutcome::failed); });
        return;
    }
    // The handlers hold the client until the task has ended, as a session holds its delegate.
    URLStreamHandlers handlers;
    handlers.onResponse = [self = shared_from_this()](const HTTPURLResponse& response) {
        self->handleResponse(response);
    };
    handlers.onData = [self = shared_from_this()](std::string chunk) {
        self->handleReceivedData(chunk);
    };
    handlers.onComplete = [self = shared_from_this()](std::optional<URLError> error) {
        self->handleCompletion(error);
    };
    dataTask_ = answerSession().streamTask(makeRequest(model, address), delegateQueue_,
                                           std::move(handlers));
    dataTask_->resume();
}

void StreamingClient::cancel() {
    cancelled_.store(true);
    std::shared_ptr<URLSessionTask> task;
    {
        std::lock_guard lock(taskMutex_);
        task = dataTask_;
    }
    if (task) task->cancel();
}

void StreamingClient::handleResponse(const HTTPURLResponse& response) {
    statusCode_ = response.statusCode;
}

void StreamingClient::handleReceivedData(std::string_view chunk) {
    // An error page is no answer: its body is not read as one.
    if (statusCode_ && !isSuccessStatus(*statusCode_)) return;
    // Pieces already on their way when the stream was closed at the limit add nothing.
    if (truncated_) return;
    buffer_.append(chunk);
    while (const auto line = buffer_.nextLine()) {
        if (isCancelled()) return;
        handleLine(*line);
    }
}

void StreamingClient::handleLine(std::string_view line) {
    // Only the leading prefix belongs to the stream; the same text inside the answer stays.
    if (line.substr(0, kLinePrefix.size()) != kLinePrefix) return;
    line.remove_prefix(kLinePrefix.size());
    const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    if (!parsed.is_object()) return;
    const auto data = parsed.find("data");
    if (data == parsed.end() || !data->is_object()) return;
    const auto content = data->find("content");
    if (content == data->end() || !content->is_string()) return;
    const std::string& piece = content->get_ref<const std::string&>();
    if (piece == kMarker || truncated_) return;
    const std::size_t size = model.responseText.size();
    const std::size_t room = size < kMaxAnswerBytes ? kMaxAnswerBytes - size : 0;
    if (piece.size() > room) {
        // An endless answer must not take the memory with it: the answer stops at the limit.
        truncated_ = true;
        consoleLog("❌ 回答过长，只保留前 " + std::to_string(kMaxAnswerBytes) + " 字节");
        closeAtLimit();
        const std::size_t kept = utf8Prefix(piece, room);
        if (kept == 0) return;
        model.responseText.append(piece, 0, kept);
    } else {
        model.responseText += piece;
    }
    if (model.onUpdate) model.onUpdate(model.responseText);
}

void StreamingClient::closeAtLimit() {
    // Nothing more of the answer is kept: a service that goes on sending would hold the
    // connection for as long as it likes, and the time-out never fires while data comes.
    std::shared_ptr<URLSessionTask> task;
    {
        std::lock_guard lock(taskMutex_);
        task = dataTask_;
    }
    if (task) task->cancel();
}

void StreamingClient::handleCompletion(const std::optional<URLError>& incoming) {
    // The close at the limit is the answer's end, not a failure.
    const bool closedAtLimit =
        truncated_ && !isCancelled() && incoming && incoming->code == URLError::Code::Cancelled;
    const std::optional<URLError> error = closedAtLimit ? std::nullopt : incoming;
    if (error) {
        consoleLog("❌ 流式连接错误：" + error->localizedDescription);
    } else {
        consoleLog("✅ 流式连接结束");
    }
    const bool rejected = statusCode_ && !isSuccessStatus(*statusCode_);
    // A last line without its LF is still a line of the answer.
    if (!rejected && !isCancelled()) {
        const std::string rest = buffer_.takeRemainder();
        if (!rest.empty()) handleLine(rest);
    }
    if (rejected) {
        consoleLog("❌ 流式请求被拒绝：HTTP " + std::to_string(*statusCode_));
        if (*statusCode_ == 401) {
            DispatchQueue::main().async([] { HttpDatas::shared().endLogin(); });
        }
    }
    if (isCancelled() || (error && error->code == URLError::Code::Cancelled)) {
        complete(StreamOutcome::cancelled);
    } else if (error || rejected || !statusCode_) {
        complete(StreamOutcome::failed);
    } else {
        complete(StreamOutcome::finished);
    }
}

void StreamingClient::complete(StreamOutcome outcome) {
    if (completed_) return;
    completed_ = true;
    if (model.didComplete) model.didComplete(model.id, model.responseText, outcome);
}

}  // namespace pex
