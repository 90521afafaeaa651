#include "standin-service/SpeechSocketServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <span>

#include "platform/appkit/OrderedWorkReceiver.h"
#include "platform/audiotoolbox/AudioLevel.h"

namespace pex::standin {

namespace {

constexpr std::size_t kFrameBytes = 640;  // 20 ms of 16 kHz 16-bit mono
constexpr std::uint64_t kBytesPerSecond = 32000;
constexpr float kSoundDecibels = -40.0f;
constexpr int kFramesPerHypothesis = 5;
constexpr int kFramesForFullSentence = 40;
constexpr int kSilentFramesToFinish = 15;
constexpr qsizetype kMaxHandshakeBytes = 16 * 1024;

std::uint64_t ticksFor(std::uint64_t bytes) {
    return bytes * 10'000'000 / kBytesPerSecond;
}

std::string headerValue(const std::string& head, const std::string& name) {
    std::string lowerHead = head;
    std::transform(lowerHead.begin(), lowerHead.end(), lowerHead.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t at = lowerHead.find("\r\n" + name + ":");
    if (at == std::string::npos) return {};
    const std::size_t start = at + 3 + name.size();
    const std::size_t end = head.find("\r\n", start);
    std::string value = head.substr(start, end - start);
    value.erase(0, value.find_first_not_of(' '));
    return value;
}

// One connection as the server sees it (server thread only).
struct Listener {
    std::size_t record = 0;
    bool translation = false;
    std::string from;
    std::vector<std::string> to;
    std::string requestId;
    std::string pendingFrame;
    std::uint64_t heardBytes = 0;
    std::uint64_t sentenceStart = 0;
    int soundFrames = 0;
    int silentFrames = 0;
    bool inSentence = false;
    bool turnEnded = false;  // turn.end went out; audio is ignored until the next turn
};

}  // namespace

struct SpeechSocketServer::Impl {
    DemoScript script;
    mutable std::mutex mutex;  // guards what tests read and set
    std::vector<SpeechConnectionRecord> records;
    int refused = 0;
    std::function<bool(const std::string&)> tokenCheck = [](const std::string& token) {
        return !token.empty();
    };
    struct CloseOrder {
        std::size_t bytes;
        int code;
        std::string reason;
    };
    std::optional<CloseOrder> closeOrder;
    bool endTurnsAfterPhrases = false;
    std::function<void()> phraseSending;
    int port = 0;

    // Server thread only.
    std::unique_ptr<QThread> thread;
    OrderedWorkReceiver* context = nullptr;
    QTcpServer* tcp = nullptr;
    QWebSocketServer* webSockets = nullptr;
    std::map<QWebSocket*, Listener> listeners;
    std::size_t sentence = 0;

    void listen(int wantedPort);
    void shutDown();
    void screenHandshake(QTcpSocket* socket);
    void accept(QWebSocket* socket);
    void onBinary(QWebSocket* socket, const QByteArray& message);
    void hear(QWebSocket* socket, Listener& listener, bool sound);
    void finishSentence(QWebSocket* socket, Listener& listener);
    void reply(QWebSocket* socket, const Listener& listener, const std::string& path,
               const nlohmann::json& body);
    std::string textIn(const std::string& code, std::size_t shown, std::size_t of) const;
    nlohmann::json resultBody(const Listener& listener, std::size_t shown, std::size_t of) const;
};

void SpeechSocketServer::Impl::listen(int wantedPort) {
    tcp = new QTcpServer(context);
    webSockets = new QWebSocketServer("standin-speech", QWebSocketServer::NonSecureMode, context);
    QObject::connect(webSockets, &QWebSocketServer::newConnection, context, [this] {
        while (QWebSocket* socket = webSockets->nextPendingConnection()) accept(socket);
    });
    QObject::connect(tcp, &QTcpServer::newConnection, context, [this] {
        while (QTcpSocket* socket = tcp->nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket] { screenHandshake(socket); });
        }
    });
    if (tcp->listen(QHostAddress::LocalHost, static_cast<quint16>(wantedPort))) {
        std::lock_guard lock(mutex);
        port = tcp->serverPort();
    }
}

void SpeechSocketServer::Impl::shutDown() {
    for (auto& [socket, listener] : listeners) {
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
    }
    listeners.clear();
    delete context;  // the servers with it
    context = nullptr;
}

// The handshake is left to the WebSocket server; only the token is looked at first, so a
// refused one gets the service's 401.
void SpeechSocketServer::Impl::screenHandshake(QTcpSocket* socket) {
    const QByteArray head = socket->peek(kMaxHandshakeBytes);
    if (!head.contains("\r\n\r\n")) {
        if (head.size() >= kMaxHandshakeBytes) socket->abort();
        return;
    }
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    const std::string authorization = headerValue(head.toStdString(), "authorization");
    const std::string token =
        authorization.rfind("Bearer ", 0) == 0 ? authorization.substr(7) : std::string();
    bool accepted = false;
    {
        std::lock_guard lock(mutex);
        accepted = tokenCheck(token);
        if (!accepted) ++refused;
    }
    if (!accepted) {
        socket->write(
            "HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        return;
    }
    webSockets->handleConnection(socket);
}

void SpeechSocketServer::Impl::accept(QWebSocket* socket) {
    const QNetworkRequest request = socket->request();
    const QUrl url = request.url();
    Listener listener;
    listener.translation = url.path() == "/speech/translation";
    const QUrlQuery query(url);
    if (listener.translation) {
        listener.from = query.queryItemValue("from").toStdString();
        for (const QString& code : query.queryItemValue("to").split(',', Qt::SkipEmptyParts))
            listener.to.push_back(code.toStdString());
    } else {
        listener.from = query.queryItemValue("language").toStdString();
    }
    {
        std::lock_guard lock(mutex);
        SpeechConnectionRecord record;
        record.path = url.path().toStdString();
        record.query = url.query(QUrl::FullyEncoded).toStdString();
        record.authorization = request.rawHeader("Authorization").toStdString();
        record.connectionId = request.rawHeader("X-ConnectionId").toStdString();
        listener.record = records.size();
        records.push_back(std::move(record));
    }
    listeners[socket] = listener;
    QObject::connect(
        socket, &QWebSocket::textMessageReceived, context, [this, socket](const QString& text) {
            std::lock_guard lock(mutex);
            records[listeners[socket].record].textMessages.push_back(text.toStdString());
        });
    QObject::connect(socket, &QWebSocket::binaryMessageReceived, context,
                     [this, socket](const QByteArray& message) { onBinary(socket, message); });
    QObject::connect(socket, &QWebSocket::disconnected, context, [this, socket] {
        listeners.erase(socket);
        socket->deleteLater();
    });
}

void SpeechSocketServer::Impl::onBinary(QWebSocket* socket, const QByteArray& message) {
    Listener& listener = listeners[socket];
    if (message.size() < 2) return;
    const auto headerLength = static_cast<qsizetype>((static_cast<unsigned char>(message[0]) << 8) |
                                                     static_cast<unsigned char>(message[1]));
    if (2 + headerLength > message.size()) return;
    const std::string headers = "\r\n" + message.mid(2, headerLength).toStdString();
    const QByteArray payload = message.mid(2 + headerLength);
    listener.requestId = headerValue(headers, "x-requestid");
    const bool waveHeader = headerValue(headers, "content-type") == "audio/x-wav";
    std::optional<Impl::CloseOrder> close;
    {
        std::lock_guard lock(mutex);
        SpeechConnectionRecord& record = records[listener.record];
        record.binaryMessages.push_back(message.toStdString());
        if (payload.isEmpty()) record.audioEnded = true;
        if (waveHeader) record.turns.emplace_back();
        if (!waveHeader) {
            record.audio += payload.toStdString();
            if (!record.turns.empty()) record.turns.back() += payload.toStdString();
        }
        if (closeOrder && record.audio.size() >= closeOrder->bytes) {
            close = closeOrder;
            closeOrder.reset();
            record.closedByServer = true;
        }
    }
    if (waveHeader) {
        // A new turn: its offsets count from here.
        listener.pendingFrame.clear();
        listener.heardBytes = 0;
        listener.sentenceStart = 0;
        listener.soundFrames = 0;
        listener.silentFrames = 0;
        listener.inSentence = false;
        listener.turnEnded = false;
        reply(socket, listener, "turn.start", {{"context", {{"serviceTag", "standin"}}}});
    } else if (listener.turnEnded) {
        // Audio the client sent before it saw the turn end; it sends it again in the next turn.
    } else if (payload.isEmpty()) {
        if (listener.inSentence) finishSentence(socket, listener);
        reply(socket, listener, "turn.end", nlohmann::json::object());
    } else {
        listener.pendingFrame += payload.toStdString();
        while (listener.pendingFrame.size() >= kFrameBytes) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(listener.pendingFrame.data());
            const bool sound =
                AudioLevel::measure(std::span(bytes, kFrameBytes)).averagePower > kSoundDecibels;
            listener.heardBytes += kFrameBytes;
            listener.pendingFrame.erase(0, kFrameBytes);
            hear(socket, listener, sound);
        }
    }
    if (close) {
        socket->close(static_cast<QWebSocketProtocol::CloseCode>(close->code),
                      QString::fromStdString(close->reason));
    }
}

void SpeechSocketServer::Impl::hear(QWebSocket* socket, Listener& listener, bool sound) {
    if (sound) {
        if (!listener.inSentence) {
            listener.inSentence = true;
            listener.sentenceStart = listener.heardBytes - kFrameBytes;
            reply(socket, listener, "speech.startDetected",
                  {{"Offset", ticksFor(listener.sentenceStart)}});
        }
        listener.silentFrames = 0;
        if (++listener.soundFrames % kFramesPerHypothesis == 0) {
            reply(socket, listener,
                  listener.translation ? "translation.hypothesis" : "speech.hypothesis",
                  resultBody(listener, static_cast<std::size_t>(listener.soundFrames),
                             kFramesForFullSentence));
        }
        return;
    }
    if (listener.inSentence && ++listener.silentFrames >= kSilentFramesToFinish)
        finishSentence(socket, listener);
}

void SpeechSocketServer::Impl::finishSentence(QWebSocket* socket, Listener& listener) {
    nlohmann::json body = resultBody(listener, 1, 1);
    body["RecognitionStatus"] = "Success";
    if (!listener.translation) {
        body["DisplayText"] = body["Text"];
        body.erase("Text");
    }
    std::function<void()> sending;
    {
        std::lock_guard lock(mutex);
        sending = phraseSending;
    }
    if (sending) sending();
    reply(socket, listener, listener.translation ? "translation.phrase" : "speech.phrase", body);
    if (sending) socket->flush();  // on the wire now, not when the server's loop comes round
    reply(socket, listener, "speech.endDetected", {{"Offset", ticksFor(listener.heardBytes)}});
    ++sentence;
    listener.inSentence = false;
    listener.soundFrames = 0;
    listener.silentFrames = 0;
    bool endTurn = false;
    {
        std::lock_guard lock(mutex);
        endTurn = endTurnsAfterPhrases;
    }
    if (endTurn) {
        reply(socket, listener, "turn.end", nlohmann::json::object());
        listener.turnEnded = true;
    }
}

std::string SpeechSocketServer::Impl::textIn(const std::string& code, std::size_t shown,
                                             std::size_t of) const {
    const DemoSentence& current = script.sentences[sentence % script.sentences.size()];
    auto found = current.texts.find(DemoScript::primaryLanguage(code));
    if (found == current.texts.end()) found = current.texts.find("en");
    if (found == current.texts.end()) return {};
    const std::size_t units = DemoScript::unitCount(found->second);
    const std::size_t visible =
        std::max<std::size_t>(1, (units * std::min(shown, of) + of - 1) / of);
    return DemoScript::prefix(found->second, visible);
}

nlohmann::json SpeechSocketServer::Impl::resultBody(const Listener& listener, std::size_t shown,
                                                    std::size_t of) const {
    nlohmann::json body = {{"Text", textIn(listener.from, shown, of)},
                           {"Offset", ticksFor(listener.sentenceStart)},
                           {"Duration", ticksFor(listener.heardBytes - listener.sentenceStart)}};
    if (listener.translation) {
        nlohmann::json translations = nlohmann::json::array();
        const DemoSentence& current = script.sentences[sentence % script.sentences.size()];
        for (const auto& code : listener.to) {
            if (!current.texts.count(DemoScript::primaryLanguage(code))) continue;
            translations.push_back({{"Language", code}, {"Text", textIn(code, shown, of)}});
        }
        body["Translation"] = {{"TranslationStatus", "Success"}, {"Translations", translations}};
    }
    return body;
}

void SpeechSocketServer::Impl::reply(QWebSocket* socket, const Listener& listener,
                                     const std::string& path, const nlohmann::json& body) {
    const std::string message = "X-RequestId: " + listener.requestId + "\r\nPath: " + path +
                                "\r\nContent-Type: application/json; charset=utf-8\r\n\r\n" +
                                body.dump();
    socket->sendTextMessage(QString::fromStdString(message));
}

SpeechSocketServer::SpeechSocketServer() : SpeechSocketServer(DemoScript::interview()) {}

SpeechSocketServer::SpeechSocketServer(DemoScript script) : impl_(std::make_unique<Impl>()) {
    impl_->script = std::move(script);
    if (impl_->script.sentences.empty()) impl_->script = DemoScript::interview();
}

SpeechSocketServer::~SpeechSocketServer() {
    stop();
}

int SpeechSocketServer::start(int port) {
    if (impl_->thread) return this->port();
    impl_->thread = std::make_unique<QThread>();
    impl_->thread->setObjectName("standin.speech");
    impl_->context = new OrderedWorkReceiver;
    impl_->context->moveToThread(impl_->thread.get());
    impl_->thread->start();
    impl_->context->postAndWait([this, port] { impl_->listen(port); });
    return this->port();
}

void SpeechSocketServer::stop() {
    if (!impl_->thread) return;
    // What the server thread does after its shut-down is Qt's own.
    impl_->context->postAndWait([this] { impl_->shutDown(); });
    impl_->thread->quit();
    impl_->thread->wait();
    impl_->thread.reset();
}

int SpeechSocketServer::port() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->port;
}

std::string SpeechSocketServer::endpoint(const std::string& path) const {
    return "ws://127.0.0.1:" + std::to_string(port()) + path;
}

void SpeechSocketServer::setTokenCheck(std::function<bool(const std::string&)> check) {
    std::lock_guard lock(impl_->mutex);
    impl_->tokenCheck = std::move(check);
}

void SpeechSocketServer::closeAfterAudio(std::size_t bytes, int code, std::string reason) {
    std::lock_guard lock(impl_->mutex);
    impl_->closeOrder = Impl::CloseOrder{bytes, code, std::move(reason)};
}

void SpeechSocketServer::endTurnsAfterPhrases(bool enabled) {
    std::lock_guard lock(impl_->mutex);
    impl_->endTurnsAfterPhrases = enabled;
}

void SpeechSocketServer::setPhraseSendingHandler(std::function<void()> handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->phraseSending = std::move(handler);
}

std::vector<SpeechConnectionRecord> SpeechSocketServer::connections() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->records;
}

int SpeechSocketServer::refusedHandshakes() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->refused;
}

}  // namespace pex::standin
