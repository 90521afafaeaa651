#pragma once
// The course of a cloud recognition session on its own thread (every member runs there).
//
// Connecting: the WebSocket handshake carries "Authorization: Bearer <token>" with the newest
// token and a fresh connection id. Once open: a speech.config message, then the turn's audio,
// opened by the WAVE header and followed by the stream's bytes as they come; when the push
// stream is closed and drained, an empty audio message ends the audio. A turn.end before that
// starts the next turn on the same connection, which sends again the audio after the last
// finished phrase.
//
// Replies become events: hypotheses are recognising, successful phrases recognised, with the
// translations of the translation service keyed by the target codes asked for.
//
// The service closes a connection after some minutes. A normal close (or a dropped
// connection) after a successful open reconnects at once, with the newest token, and sends
// again the audio the service has not yet acknowledged with a phrase, then what was written
// meanwhile. A failed handshake (say, a refused token), any other close code or a phrase with
// the status "Error" cancels the session with details, as do three reconnections in a row
// without a reply and a handshake that has not completed after 15 seconds (on the process's
// clock).
//
// Only a bounded amount of audio is handed to the socket at a time; when the connection
// stalls, audio waits in the push stream, whose buffer is bounded too; audio dropped there is
// logged when dropping starts and when it ends.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/foundation/Clock.h"
#include "platform/speech/SpeechBackend.h"

class QTimer;
class QWebSocket;

namespace pex {

struct SpeechServiceMessage;

class CloudSpeechConnection {
  public:
    struct Settings {
        std::string url;
        std::shared_ptr<PushAudioInputStream> stream;
        std::shared_ptr<RecognitionEventSink> sink;
        std::function<std::string()> currentToken;
        std::vector<std::string> targetLanguages;
        // Runs work on this connection's thread later, if the connection still exists then.
        std::function<void(std::function<void(CloudSpeechConnection&)>)> post;
    };

    explicit CloudSpeechConnection(Settings settings);
    ~CloudSpeechConnection();

    void open();
    // Hands waiting audio to the socket, as much as it takes without piling up.
    void pump();

  private:
    void connectSocket();
    void onConnected();
    void onConnectTimeout(std::uint64_t attempt);
    void onDisconnected();
    void onText(const std::string& text);
    void onPhrase(const SpeechServiceMessage& message, bool translation);
    std::map<std::string, std::string> translationsIn(const nlohmann::json& body) const;
    void startTurn();
    void sendAudio(std::span<const std::uint8_t> bytes);
    void acknowledgeUpTo(std::uint64_t ticks);
    void cancel(const std::string& details);
    void noteDroppedAudio();

    Settings settings_;
    std::unique_ptr<QWebSocket> socket_;
    std::unique_ptr<QTimer> poll_;
    const std::shared_ptr<Clock> clock_ = Clock::current();
    std::size_t bytesPerSecond_ = 0;
    std::size_t blockAlign_ = 1;
    std::string requestId_;
    bool opened_ = false;             // the current socket completed its handshake
    std::uint64_t attempt_ = 0;       // counts connection attempts
    std::uint64_t connectTimer_ = 0;  // on the process clock; 0: none
    bool audioEnded_ = false;         // the empty audio message went out on this connection
    bool finished_ = false;           // cancelled, or all audio recognised: no more connections
    int reconnectsWithoutReply_ = 0;
    // Audio positions count bytes of the stream since the session started.
    std::uint64_t readPosition_ = 0;           // bytes taken from the push stream
    std::uint64_t turnStart_ = 0;              // position of the first byte of the current turn
    std::deque<std::uint8_t> unacknowledged_;  // audio from unacknowledgedStart_ to readPosition_
    std::uint64_t unacknowledgedStart_ = 0;
    bool streamEnded_ = false;  // the push stream is closed and drained
    std::uint64_t droppedSeen_ = 0;
    bool dropping_ = false;
};

}  // namespace pex
