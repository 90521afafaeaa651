// The cloud speech backend against the stand-in's WebSocket speech endpoint: the bytes it
// sends, the events the replies become, reconnection, failures and a stalled connection.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <regex>

#include "platform/foundation/Clock.h"
#include "platform/speech/AudioConfiguration.h"
#include "platform/speech/CloudSpeechBackend.h"
#include "platform/speech/PushAudioInputStream.h"
#include "platform/speech/SpeechConfiguration.h"
#include "platform/speech/SpeechRecognizer.h"
#include "platform/speech/SpeechServiceMessage.h"
#include "platform/speech/SpeechTranslationConfiguration.h"
#include "platform/speech/TranslationRecognizer.h"
#include "purchase/ConsoleCapture.h"
#include "standin-service/SpeechSocketServer.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using standin::SpeechConnectionRecord;
using test::runMainUntil;

constexpr std::size_t kFrame = 640;

std::string silence(int frames) {
    return std::string(static_cast<std::size_t>(frames) * kFrame, '\0');
}

std::string tone(int frames) {
    std::string pcm;
    for (int n = 0; n < frames * 320; ++n) {
        const auto sample =
            static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440 * n / 16000.0));
        pcm.push_back(static_cast<char>(sample & 0xff));
        pcm.push_back(static_cast<char>((sample >> 8) & 0xff));
    }
    return pcm;
}

class CloudSpeechTest : public test::IsolatedTest {
  protected:
    CloudSpeechTest() {
        EXPECT_NE(server.start(), 0);
        SpeechBackend::setCurrent(std::make_shared<CloudSpeechBackend>(CloudSpeechEndpoints{
            server.endpoint("/speech/recognition"), server.endpoint("/speech/translation")}));
    }
    ~CloudSpeechTest() override {
        plain.reset();
        translating.reset();
        SpeechBackend::setCurrent(nullptr);
        Clock::setCurrent(nullptr);
    }

    void startPlain(const std::string& token, const std::string& language = "en-US") {
        auto configuration = SpeechConfiguration::fromAuthorizationToken(token, "eastasia");
        ASSERT_TRUE(configuration.configuration);
        configuration.configuration->setSpeechRecognitionLanguage(language);
        auto made = SpeechRecognizer::fromConfig(configuration.configuration,
                                                 AudioConfiguration::fromStreamInput(stream));
        ASSERT_TRUE(made.recognizer) << made.error->localizedDescription;
        plain = made.recognizer;
        plain->addRecognizedEventHandler([this](const SpeechRecognitionEventArgs& e) {
            note("final:" + e.result.text.value_or(""));
        });
        plain->addRecognizingEventHandler([this](const SpeechRecognitionEventArgs& e) {
            note("partial:" + e.result.text.value_or(""));
        });
        plain->addCanceledEventHandler([this](const RecognitionCanceledEventArgs& e) {
            note("canceled:" + e.errorDetails.value_or("-"));
        });
        ASSERT_FALSE(plain->startContinuousRecognition());
    }

    void startTranslating(const std::string& from, const std::string& to) {
        auto configuration =
            SpeechTranslationConfiguration::fromAuthorizationToken("token-1", "eastasia");
        ASSERT_TRUE(configuration.configuration);
        configuration.configuration->setSpeechRecognitionLanguage(from);
        configuration.configuration->addTargetLanguage(to);
        auto made = TranslationRecognizer::fromConfig(configuration.configuration,
                                                      AudioConfiguration::fromStreamInput(stream));
        ASSERT_TRUE(made.recognizer) << made.error->localizedDescription;
        translating = made.recognizer;
        auto line = [to](const char* kind, const TranslationRecognitionEventArgs& e) {
            const auto found = e.result.translations.find(to);
            return std::string(kind) + e.result.text.value_or("") + "|" +
                   (found == e.result.translations.end() ? "-" : found->second);
        };
        translating->addRecognizedEventHandler(
            [this, line](const TranslationRecognitionEventArgs& e) { note(line("final:", e)); });
        translating->addRecognizingEventHandler(
            [this, line](const TranslationRecognitionEventArgs& e) { note(line("partial:", e)); });
        translating->addCanceledEventHandler([this](const RecognitionCanceledEventArgs& e) {
            note("canceled:" + e.errorDetails.value_or("-"));
        });
        ASSERT_FALSE(translating->startContinuousRecognition());
    }

    void write(const std::string& pcm) {
        for (std::size_t at = 0; at < pcm.size(); at += kFrame) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(pcm.data() + at);
            stream->write(std::span(bytes, std::min(kFrame, pcm.size() - at)));
        }
    }

    void note(const std::string& event) {
        std::lock_guard lock(mutex);
        events.push_back(event);
    }
    std::vector<std::string> eventsSoFar() {
        std::lock_guard lock(mutex);
        return events;
    }
    bool waitForEvent(const std::string& prefix) {
        return runMainUntil([&] {
            for (const auto& event : eventsSoFar())
                if (event.rfind(prefix, 0) == 0) return true;
            return false;
        });
    }
    bool waitForConnections(std::size_t count, bool ended) {
        return runMainUntil([&] {
            const auto all = server.connections();
            return all.size() >= count && (!ended || all[count - 1].audioEnded);
        });
    }

    standin::SpeechSocketServer server;
    std::shared_ptr<PushAudioInputStream> stream =
        std::make_shared<PushAudioInputStream>(AudioStreamFormat::pcm(16000, 16, 1));
    std::shared_ptr<SpeechRecognizer> plain;
    std::shared_ptr<TranslationRecognizer> translating;
    std::mutex mutex;
    std::vector<std::string> events;
};

// The audio message's parts: header text and payload.
std::pair<std::string, std::string> splitAudio(const std::string& message) {
    const std::size_t length =
        (static_cast<unsigned char>(message[0]) << 8) | static_cast<unsigned char>(message[1]);
    return {message.substr(2, length), message.substr(2 + length)};
}

TEST_F(CloudSpeechTest, MessagesAreFramedByteForByte) {
    startPlain("token-1");
    const std::string audio = tone(3) + std::string("\x01\x02\x03", 3);
    write(audio);
    stream->close();
    ASSERT_TRUE(waitForConnections(1, true));
    const SpeechConnectionRecord connection = server.connections()[0];

    EXPECT_EQ(connection.path, "/speech/recognition");
    EXPECT_EQ(connection.query, "language=en-US&format=simple");
    EXPECT_EQ(connection.authorization, "Bearer token-1");
    EXPECT_TRUE(std::regex_match(connection.connectionId, std::regex("[0-9A-F]{32}")));

    const std::string id = "[0-9A-F]{32}";
    const std::string stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";
    ASSERT_EQ(connection.textMessages.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        connection.textMessages[0],
        std::regex("Path: speech\\.config\r\nX-RequestId: " + id + "\r\nX-Timestamp: " + stamp +
                   "\r\nContent-Type: application/json\r\n\r\n\\{.*\\}")))
        << connection.textMessages[0];

    ASSERT_GE(connection.binaryMessages.size(), 3u);
    const std::regex audioHeader("Path: audio\r\nX-RequestId: (" + id + ")\r\nX-Timestamp: " +
                                 stamp + "\r\n(Content-Type: audio/x-wav\r\n)?");
    std::string requestId;
    std::string pcm;
    for (std::size_t i = 0; i < connection.binaryMessages.size(); ++i) {
        const auto [header, payload] = splitAudio(connection.binaryMessages[i]);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(header, match, audioHeader)) << i << ": " << header;
        if (i == 0) requestId = match[1];
        EXPECT_EQ(match[1], requestId) << "one turn, one request id";
        const bool first = i == 0;
        const bool last = i + 1 == connection.binaryMessages.size();
        EXPECT_EQ(match[2].matched, first) << i;
        if (first) {
            const std::string wave(
                "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x3e\0\0"
                "\0\x7d\0\0\x02\0\x10\0data\0\0\0\0",
                44);
            EXPECT_EQ(payload, wave);
        } else if (last) {
            EXPECT_EQ(payload, "") << "an empty message ends the audio";
        } else {
            EXPECT_FALSE(payload.empty());
            pcm += payload;
        }
    }
    EXPECT_EQ(pcm, audio);
}

TEST_F(CloudSpeechTest, RepliesBecomeRecognisingAndRecognisedEvents) {
    struct Case {
        bool translation;
        std::string from, to, final;
    } cases[] = {
        {false, "en-US", "", "final:Please briefly introduce yourself."},
        {true, "zh-CN", "en", "final:请先简单介绍一下你自己。|Please briefly introduce yourself."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.final);
        events.clear();
        stream = std::make_shared<PushAudioInputStream>();
        standin::SpeechSocketServer fresh;  // its script starts at the first sentence
        ASSERT_NE(fresh.start(), 0);
        SpeechBackend::setCurrent(std::make_shared<CloudSpeechBackend>(CloudSpeechEndpoints{
            fresh.endpoint("/speech/recognition"), fresh.endpoint("/speech/translation")}));
        if (c.translation) {
            startTranslating(c.from, c.to);
        } else {
            startPlain("token-1", c.from);
        }
        write(silence(5) + tone(50) + silence(20));
        ASSERT_TRUE(waitForEvent("final:"));
        const auto seen = eventsSoFar();
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen.back(), c.final);
        for (std::size_t i = 0; i + 1 < seen.size(); ++i)
            EXPECT_EQ(seen[i].rfind("partial:", 0), 0u);
        if (c.translation) {
            EXPECT_NE(seen.front().find("|Please"), std::string::npos) << seen.front();
        }
        EXPECT_EQ(fresh.connections()[0].query, c.translation ? "from=zh-CN&to=en&format=simple"
                                                              : "language=en-US&format=simple");
        plain.reset();
        translating.reset();
    }
}

// The service ends connections after a while: the session connects again with the token it
// was given last, and sends again everything after the last phrase the service finished.
TEST_F(CloudSpeechTest, AClosedConnectionReconnectsWithTheNewestTokenAndLosesNoAudio) {
    test::ConsoleCapture console;
    startPlain("token-first-123");
    ASSERT_TRUE(waitForConnections(1, false));
    plain->setAuthorizationToken("token-second-456");
    const std::size_t phraseEnd = (50 + 15) * kFrame;  // the phrase ends after 300 ms of silence
    server.closeAfterAudio(100 * kFrame, 1000, "idle");
    const std::string audio = tone(50) + silence(100);
    write(audio);
    ASSERT_TRUE(waitForEvent("final:"));
    ASSERT_TRUE(waitForConnections(2, false));
    write(tone(2));
    stream->close();
    ASSERT_TRUE(waitForConnections(2, true));

    const auto connections = server.connections();
    EXPECT_EQ(connections[0].authorization, "Bearer token-first-123");
    EXPECT_EQ(connections[1].authorization, "Bearer token-second-456");
    EXPECT_TRUE(connections[0].closedByServer);
    EXPECT_EQ(connections[0].audio.substr(0, phraseEnd), audio.substr(0, phraseEnd));
    EXPECT_EQ(connections[1].audio, audio.substr(phraseEnd) + tone(2));
    for (const auto& event : eventsSoFar())
        EXPECT_EQ(event.rfind("canceled:", 0), std::string::npos);

    const std::string printed = console.text();
    EXPECT_NE(printed.find("connecting again"), std::string::npos);
    EXPECT_EQ(printed.find("token-first-123"), std::string::npos);
    EXPECT_EQ(printed.find("token-second-456"), std::string::npos);
}

// The service may end a turn after a phrase: the next turn on the same connection opens with
// a WAVE header of its own and starts with the audio after that phrase.
TEST_F(CloudSpeechTest, ATurnEndedByTheServiceGoesOnInANewTurnFromTheLastPhrase) {
    server.endTurnsAfterPhrases(true);
    startPlain("token-1");
    const std::string audio = tone(50) + silence(40) + tone(50) + silence(40);
    write(audio);
    ASSERT_TRUE(runMainUntil([&] {
        const auto seen = eventsSoFar();
        return std::count_if(seen.begin(), seen.end(),
                             [](const auto& e) { return e.rfind("final:", 0) == 0; }) == 2;
    }));
    stream->close();
    ASSERT_TRUE(waitForConnections(1, true));

    const auto connections = server.connections();
    ASSERT_EQ(connections.size(), 1u);
    const auto& turns = connections[0].turns;
    ASSERT_EQ(turns.size(), 3u);
    const std::size_t firstEnd = 65 * kFrame;    // 50 frames of sound, 15 of silence
    const std::size_t secondEnd = 155 * kFrame;  // then 25 + 50 + 15 frames
    EXPECT_EQ(turns[0].substr(0, firstEnd), audio.substr(0, firstEnd));
    ASSERT_GE(turns[1].size(), secondEnd - firstEnd);
    EXPECT_EQ(turns[1], audio.substr(firstEnd, turns[1].size()));
    EXPECT_EQ(turns[2], audio.substr(secondEnd));
    const auto seen = eventsSoFar();
    EXPECT_NE(std::find(seen.begin(), seen.end(), "final:Please briefly introduce yourself."),
              seen.end());
}

TEST_F(CloudSpeechTest, FailuresCancelWithDetails) {
    struct Case {
        const char* name;
        std::function<void(standin::SpeechSocketServer&)> arrange;
        std::string details;
    } cases[] = {
        {"refused token",
         [](auto& s) { s.setTokenCheck([](const std::string& t) { return t == "good"; }); }, "401"},
        {"service error close", [](auto& s) { s.closeAfterAudio(kFrame, 1011, "internal error"); },
         "(code 1011): internal error"},
        {"policy close", [](auto& s) { s.closeAfterAudio(kFrame, 1008, "token expired"); },
         "(code 1008): token expired"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ConsoleCapture console;
        events.clear();
        stream = std::make_shared<PushAudioInputStream>();
        standin::SpeechSocketServer fresh;
        ASSERT_NE(fresh.start(), 0);
        c.arrange(fresh);
        SpeechBackend::setCurrent(std::make_shared<CloudSpeechBackend>(CloudSpeechEndpoints{
            fresh.endpoint("/speech/recognition"), fresh.endpoint("/speech/translation")}));
        startPlain("secret-token-789");
        write(silence(5));
        ASSERT_TRUE(waitForEvent("canceled:"));
        const auto seen = eventsSoFar();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_NE(seen[0].find(c.details), std::string::npos) << seen[0];
        // Nothing more happens: no reconnection after a failure.
        EXPECT_FALSE(runMainUntil([&] { return fresh.connections().size() > 1; },
                                  std::chrono::milliseconds(200)));
        EXPECT_EQ(console.text().find("secret-token-789"), std::string::npos);
        plain.reset();
    }
}

// A connection that never gets going holds no capture thread up: writes return at once, the
// bounded buffer keeps ten seconds and the rest is dropped, counted and logged. After 15
// seconds without a handshake the session is cancelled.
TEST_F(CloudSpeechTest, AStalledConnectionNeverBlocksWritesAndTimesOut) {
    const auto clock = std::make_shared<ManualClock>();
    Clock::setCurrent(clock);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);  // the kernel takes the connection; nobody answers
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string stalled = "ws://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";
    SpeechBackend::setCurrent(
        std::make_shared<CloudSpeechBackend>(CloudSpeechEndpoints{stalled, stalled}));

    test::ConsoleCapture console;
    startPlain("token-1");
    write(silence(50 * 12));  // twelve seconds
    EXPECT_EQ(stream->droppedBytes(), 2u * 32000u);
    EXPECT_TRUE(runMainUntil(
        [&] { return console.text().find("the audio buffer is full") != std::string::npos; }));

    clock->advance(std::chrono::seconds(14));
    EXPECT_FALSE(
        runMainUntil([&] { return !eventsSoFar().empty(); }, std::chrono::milliseconds(50)));
    clock->advance(std::chrono::seconds(1));
    ASSERT_TRUE(waitForEvent("canceled:"));
    EXPECT_EQ(eventsSoFar(),
              std::vector<std::string>{"canceled:the connection to the speech service timed out"});
    plain.reset();
    ::close(listener);
}

TEST(CloudSpeechEndpointsTest, OnlySecureOrLoopbackEndpointsAndPlainRegionNames) {
    struct Case {
        std::string endpoint, region;
        std::optional<std::string> url;
    } cases[] = {
        {"wss://{region}.speech.example/path", "eastasia", "wss://eastasia.speech.example/path"},
        {"ws://127.0.0.1:9/speech", "eastasia", "ws://127.0.0.1:9/speech"},
        {"ws://localhost:9/speech", "west-us2", "ws://localhost:9/speech"},
        {"ws://{region}.speech.example/path", "eastasia", std::nullopt},
        {"https://speech.example/path", "eastasia", std::nullopt},
        {"wss://{region}.speech.example/path", "evil.example/x?", std::nullopt},
        {"wss://{region}.speech.example/path", "", std::nullopt},
        {"wss://user@speech.example/path", "eastasia", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CloudSpeechEndpoints::resolve(c.endpoint, c.region), c.url)
            << c.endpoint << " " << c.region;
    }
}

TEST(CloudSpeechBackendConfigurationTest, TokensAndRegionsThatCannotBeSentAreRefused) {
    CloudSpeechBackend backend(CloudSpeechEndpoints{"ws://127.0.0.1:9/r", "ws://127.0.0.1:9/t"});
    EXPECT_FALSE(backend.checkConfiguration("token-1", "eastasia"));
    EXPECT_TRUE(backend.checkConfiguration("", "eastasia"));
    EXPECT_TRUE(backend.checkConfiguration("token\r\nX-Injected: 1", "eastasia"));
    EXPECT_TRUE(backend.checkConfiguration("token-1", "east asia"));
}

}  // namespace
}  // namespace pex
