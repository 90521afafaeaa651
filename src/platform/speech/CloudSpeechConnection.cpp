#include "platform/speech/CloudSpeechConnection.h"

#include <QNetworkRequest>
#include <QTimer>
#include <QUuid>
#include <QWebSocket>
#include <algorithm>
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/foundation/Clock.h"
#include "platform/speech/CloudSpeechBackend.h"
#include "platform/speech/PushAudioInputStream.h"
#include "platform/speech/SpeechServiceMessage.h"

namespace pex {

namespace {

constexpr std::size_t kChunkBytes = 3200;      // up to 100 ms of 16 kHz mono per message
constexpr qint64 kMaxUnsentBytes = 64 * 1024;  // what the socket may hold unsent
constexpr std::uint64_t kMaxUnacknowledgedSeconds = 30;
constexpr qint64 kMaxReplyBytes = 1024 * 1024;  // a reply larger than this is refused
constexpr int kPollMilliseconds = 100;
constexpr int kMaxReconnectsWithoutReply = 3;
constexpr auto kConnectTimeout = std::chrono::seconds(15);
constexpr std::uint64_t kTicksPerSecond = 10'000'000;  // the service counts time in 100 ns

void logLine(const std::string& line) {
    std::printf("[CloudSpeech] %s\n", line.c_str());
    std::fflush(stdout);
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<std::string> stringField(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<std::uint64_t> tickField(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number_unsigned()) return std::nullopt;
    return found->get<std::uint64_t>();
}

}  // namespace

CloudSpeechConnection::CloudSpeechConnection(Settings settings) : settings_(std::move(settings)) {
    const AudioStreamFormat& format = settings_.stream->format();
    blockAlign_ = std::max<std::size_t>(1, format.channels * (format.bitsPerSample / 8));
    bytesPerSecond_ = std::size_t{format.samplesPerSecond} * blockAlign_;
}

CloudSpeechConnection::~CloudSpeechConnection() {
    finished_ = true;
    if (connectTimer_) clock_->cancel(connectTimer_);
    if (socket_) {
        socket_->disconnect();
        socket_->abort();
    }
}

void CloudSpeechConnection::open() {
    poll_ = std::make_unique<QTimer>();
    poll_->setInterval(kPollMilliseconds);
    QObject::connect(poll_.get(), &QTimer::timeout, [this] { pump(); });
    poll_->start();
    connectSocket();
}

void CloudSpeechConnection::connectSocket() {
    if (socket_) {
        socket_->disconnect();
        socket_.release()->deleteLater();  // we may be inside one of its signals
    }
    opened_ = false;
    audioEnded_ = false;
    socket_ = std::make_unique<QWebSocket>();
    socket_->setMaxAllowedIncomingMessageSize(kMaxReplyBytes);
    socket_->setMaxAllowedIncomingFrameSize(kMaxReplyBytes);
    QWebSocket* socket = socket_.get();
    QObject::connect(socket, &QWebSocket::connected, [this] { onConnected(); });
    QObject::connect(socket, &QWebSocket::disconnected, [this] { onDisconnected(); });
    QObject::connect(socket, &QWebSocket::textMessageReceived,
                     [this](const QString& text) { onText(text.toStdString()); });
    QObject::connect(socket, &QWebSocket::bytesWritten, [this](qint64) { pump(); });

    const std::string token = settings_.currentToken();
    if (!CloudSpeechBackend::isUsableToken(token)) {
        cancel("the authorization token is not usable");
        return;
    }
    QNetworkRequest request(QUrl(QString::fromStdString(settings_.url)));
    request.setRawHeader("Authorization", QByteArray::fromStdString("Bearer " + token));
    request.setRawHeader("X-ConnectionId",
                         QUuid::createUuid().toString(QUuid::Id128).toUpper().toLatin1());
    socket->open(request);

    if (connectTimer_) clock_->cancel(connectTimer_);
    const std::uint64_t attempt = ++attempt_;
    connectTimer_ =
        clock_->schedule(clock_->now() + kConnectTimeout, [post = settings_.post, attempt] {
            post([attempt](CloudSpeechConnection& connection) {
                connection.onConnectTimeout(attempt);
            });
        });
}

void CloudSpeechConnection::onConnectTimeout(std::uint64_t attempt) {
    if (attempt != attempt_ || opened_ || finished_) return;
    cancel("the connection to the speech service timed out");
    socket_->disconnect();
    socket_->abort();
}

void CloudSpeechConnection::onConnected() {
    opened_ = true;
    if (connectTimer_) clock_->cancel(connectTimer_);
    connectTimer_ = 0;
    const nlohmann::json config = {{"context",
                                    {{"system", {{"name", "pexmora"}, {"build", "desktop"}}},
                                     {"os", {{"platform", "Linux"}}},
                                     {"audio", {{"source", {{"type", "Stream"}}}}}}}};
    socket_->sendTextMessage(QString::fromStdString(SpeechServiceMessage::text(
        "speech.config", SpeechServiceMessage::newRequestId(), SpeechServiceMessage::timestampNow(),
        "application/json", config.dump())));
    startTurn();
}

// A turn's audio starts where the last finished phrase ended: what the service had not
// acknowledged (on the last connection, or in the last turn) goes again first, then the
// stream's audio as it comes. The service counts a turn's offsets from its first byte.
void CloudSpeechConnection::startTurn() {
    requestId_ = SpeechServiceMessage::newRequestId();
    turnStart_ = unacknowledgedStart_;
    const std::string header = SpeechServiceMessage::waveHeader(settings_.stream->format());
    const std::string message = SpeechServiceMessage::audio(
        requestId_, SpeechServiceMessage::timestampNow(), "audio/x-wav",
        std::span(reinterpret_cast<const std::uint8_t*>(header.data()), header.size()));
    socket_->sendBinaryMessage(QByteArray(message.data(), static_cast<qsizetype>(message.size())));
    std::vector<std::uint8_t> chunk;
    for (auto at = unacknowledged_.begin(); at != unacknowledged_.end();) {
        const auto count = std::min<std::ptrdiff_t>(kChunkBytes, unacknowledged_.end() - at);
        chunk.assign(at, at + count);
        sendAudio(chunk);
        at += count;
    }
    pump();
}

void CloudSpeechConnection::sendAudio(std::span<const std::uint8_t> bytes) {
    const std::string message = SpeechServiceMessage::audio(
        requestId_, SpeechServiceMessage::timestampNow(), std::nullopt, bytes);
    socket_->sendBinaryMessage(QByteArray(message.data(), static_cast<qsizetype>(message.size())));
}

void CloudSpeechConnection::pump() {
    noteDroppedAudio();
    if (finished_ || !opened_ || audioEnded_) return;
    std::array<std::uint8_t, kChunkBytes> chunk{};
    while (socket_->bytesToWrite() < kMaxUnsentBytes) {
        // Closed is looked at before reading, so audio written just before the close is
        // still read before the end goes out.
        const bool closed = settings_.stream->isClosed();
        const std::size_t count = settings_.stream->readAvailable(chunk);
        if (count == 0) {
            if (closed) {
                streamEnded_ = true;
                audioEnded_ = true;
                const std::string end = SpeechServiceMessage::audio(
                    requestId_, SpeechServiceMessage::timestampNow(), std::nullopt, {});
                socket_->sendBinaryMessage(
                    QByteArray(end.data(), static_cast<qsizetype>(end.size())));
            }
            return;
        }
        const auto bytes = std::span<const std::uint8_t>(chunk).first(count);
        unacknowledged_.insert(unacknowledged_.end(), bytes.begin(), bytes.end());
        readPosition_ += count;
        const std::uint64_t limit = kMaxUnacknowledgedSeconds * bytesPerSecond_;
        if (unacknowledged_.size() > limit) {
            const std::size_t excess = unacknowledged_.size() - limit;
            unacknowledged_.erase(unacknowledged_.begin(),
                                  unacknowledged_.begin() + static_cast<std::ptrdiff_t>(excess));
            unacknowledgedStart_ += excess;
        }
        sendAudio(bytes);
    }
}

void CloudSpeechConnection::onText(const std::string& text) {
    if (finished_) return;
    reconnectsWithoutReply_ = 0;
    const auto message = SpeechServiceMessage::parse(text);
    if (!message) return;
    const std::string path = message->path();
    if (path == "speech.hypothesis" || path == "translation.hypothesis") {
        const nlohmann::json body = nlohmann::json::parse(message->body, nullptr, false);
        TranslationRecognitionResult result;
        result.text = stringField(body, "Text");
        if (path == "translation.hypothesis") result.translations = translationsIn(body);
        settings_.sink->raiseRecognizing(std::move(result));
    } else if (path == "speech.phrase") {
        onPhrase(*message, false);
    } else if (path == "translation.phrase") {
        onPhrase(*message, true);
    } else if (path == "turn.end") {
        if (!audioEnded_) {
            startTurn();
        } else if (streamEnded_) {
            // Everything was heard: the session is over.
            finished_ = true;
            socket_->close();
        }
    }
}

void CloudSpeechConnection::onPhrase(const SpeechServiceMessage& message, bool translation) {
    const nlohmann::json body = nlohmann::json::parse(message.body, nullptr, false);
    const std::string status = stringField(body, "RecognitionStatus").value_or("");
    if (const auto offset = tickField(body, "Offset")) {
        acknowledgeUpTo(*offset + tickField(body, "Duration").value_or(0));
    }
    if (status == "Error") {
        cancel("the speech service reported a recognition error");
        return;
    }
    if (status != "Success") return;  // no speech heard, silence timeouts and the like
    TranslationRecognitionResult result;
    result.text = stringField(body, translation ? "Text" : "DisplayText");
    if (translation) result.translations = translationsIn(body);
    settings_.sink->raiseRecognized(std::move(result));
}

// The "Translation" part of a translation reply, keyed by the target codes asked for (the
// service may spell a code in another case). A failed translation gives none.
std::map<std::string, std::string> CloudSpeechConnection::translationsIn(
    const nlohmann::json& body) const {
    std::map<std::string, std::string> translations;
    const auto found = body.is_object() ? body.find("Translation") : body.end();
    if (found == body.end() || !found->is_object()) return translations;
    if (stringField(*found, "TranslationStatus").value_or("Success") != "Success")
        return translations;
    const auto list = found->find("Translations");
    if (list == found->end() || !list->is_array()) return translations;
    for (const auto& entry : *list) {
        const auto language = stringField(entry, "Language");
        const auto translated = stringField(entry, "Text");
        if (!language || !translated) continue;
        std::string key = *language;
        for (const auto& target : settings_.targetLanguages) {
            if (lowerCase(target) == lowerCase(*language)) key = target;
        }
        translations[key] = *translated;
    }
    return translations;
}

// The service reports where a phrase ended, counted from the first audio of the turn; audio
// before that point need not be sent again.
void CloudSpeechConnection::acknowledgeUpTo(std::uint64_t ticks) {
    const std::uint64_t bytes = ticks / kTicksPerSecond * bytesPerSecond_ +
                                ticks % kTicksPerSecond * bytesPerSecond_ / kTicksPerSecond;
    std::uint64_t position = turnStart_ + bytes / blockAlign_ * blockAlign_;
    position = std::min(position, readPosition_);
    if (position <= unacknowledgedStart_) return;
    const std::uint64_t drop = position - unacknowledgedStart_;
    unacknowledged_.erase(unacknowledged_.begin(),
                          unacknowledged_.begin() + static_cast<std::ptrdiff_t>(drop));
    unacknowledgedStart_ = position;
}

void CloudSpeechConnection::onDisconnected() {
    if (finished_) return;
    const int code = static_cast<int>(socket_->closeCode());
    const std::string reason = socket_->closeReason().toStdString();
    if (!opened_) {
        cancel("the connection to the speech service failed: " +
               socket_->errorString().toStdString());
        return;
    }
    const bool routineClose = code == QWebSocketProtocol::CloseCodeNormal ||
                              code == QWebSocketProtocol::CloseCodeGoingAway ||
                              code == QWebSocketProtocol::CloseCodeAbnormalDisconnection;
    if (!routineClose) {
        cancel("the speech service closed the connection (code " + std::to_string(code) +
               (reason.empty() ? ")" : "): " + reason));
        return;
    }
    if (++reconnectsWithoutReply_ > kMaxReconnectsWithoutReply) {
        cancel("the speech service keeps closing the connection (code " + std::to_string(code) +
               ")");
        return;
    }
    logLine("the service closed the connection (code " + std::to_string(code) +
            "); connecting again");
    connectSocket();
}

void CloudSpeechConnection::cancel(const std::string& details) {
    finished_ = true;
    logLine("recognition cancelled: " + details);
    settings_.sink->raiseCanceled(details);
    if (socket_ && opened_) socket_->close();
}

void CloudSpeechConnection::noteDroppedAudio() {
    const std::uint64_t dropped = settings_.stream->droppedBytes();
    if (dropped > droppedSeen_ && !dropping_) {
        dropping_ = true;
        logLine("the audio buffer is full: audio is dropped until the connection catches up");
    } else if (dropped == droppedSeen_ && dropping_) {
        dropping_ = false;
        logLine("audio is no longer being dropped; " + std::to_string(dropped) +
                " bytes of audio were dropped in all");
    }
    droppedSeen_ = dropped;
}

}  // namespace pex
