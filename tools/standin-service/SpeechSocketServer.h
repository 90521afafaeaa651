#pragma once
// The stand-in's speech endpoint: a WebSocket server on a port of its own that speaks the
// subset of the cloud speech protocol the application uses. It runs on a thread of its own.
//
// Each connection must carry "Authorization: Bearer <token>" with a token the token check
// accepts (any non-empty one by default), else the handshake is answered 401. It takes
// speech.config and audio messages; every span of sound in the audio (20 ms frames above
// -40 dBFS) becomes the next sentence of the script: speech.startDetected, a hypothesis every
// 100 ms of sound, then after 300 ms of silence, or at the end of the audio, a phrase with
// its offset and duration and speech.endDetected. On the translation path ("/speech/
// translation", with "from" and "to") the replies are translation.hypothesis and
// translation.phrase with the script's translations. The empty audio message ends the turn
// (turn.end). A test can have it close a connection after some audio, with any close code,
// or end the turn after each phrase.
//
//   pex::standin::SpeechSocketServer speech;
//   const int port = speech.start();
//   CloudSpeechBackend backend({speech.endpoint("/speech/recognition"),
//                               speech.endpoint("/speech/translation")});
//   ... run recognition ...
//   auto connections = speech.connections();  // what each connection sent
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/speech/DemoScript.h"

namespace pex::standin {

// What one connection sent, message by message.
struct SpeechConnectionRecord {
    std::string path;   // "/speech/recognition"
    std::string query;  // raw, without "?"
    std::string authorization;
    std::string connectionId;
    std::vector<std::string> textMessages;    // as received
    std::vector<std::string> binaryMessages;  // as received
    std::string audio;                        // PCM of the audio messages, WAVE headers left out
    std::vector<std::string> turns;           // the same PCM, per turn (each WAVE header opens one)
    bool audioEnded = false;                  // the empty audio message arrived
    bool closedByServer = false;
};

class SpeechSocketServer {
  public:
    SpeechSocketServer();
    explicit SpeechSocketServer(DemoScript script);
    ~SpeechSocketServer();
    SpeechSocketServer(const SpeechSocketServer&) = delete;
    SpeechSocketServer& operator=(const SpeechSocketServer&) = delete;

    // Listens on 127.0.0.1; port 0 picks a free one. Returns the port, or 0 on failure.
    int start(int port = 0);
    void stop();
    int port() const;
    std::string endpoint(const std::string& path) const;  // "ws://127.0.0.1:<port><path>"

    // Tokens refused by the check get 401 at the handshake.
    void setTokenCheck(std::function<bool(const std::string& token)> check);
    // The next connection that has received `bytes` bytes of audio is closed with this code.
    void closeAfterAudio(std::size_t bytes, int code, std::string reason = {});
    // Ends the turn (turn.end) after every phrase, as the service may; offsets then count from
    // the start of the next turn's audio.
    void endTurnsAfterPhrases(bool enabled);

    // Called on the server's thread right before a phrase (a sentence's final result) is
    // written to its connection's socket, which then sends it at once: where a bench starts the
    // clock of what the client makes of a phrase.
    void setPhraseSendingHandler(std::function<void()> handler);

    std::vector<SpeechConnectionRecord> connections() const;
    int refusedHandshakes() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace pex::standin
