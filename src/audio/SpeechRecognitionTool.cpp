#include "audio/SpeechRecognitionTool.h"

#include "audio/PXRecorderManager.h"
#include "platform/foundation/DispatchQueue.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

const char* const kPlainLog = "[SpeechRecognitionTool] 设置识别器失败：";
const char* const kPlainMessage = "Recognizer setup failed: ";
const char* const kTranslationLog = "[SpeechRecognitionTool] 设置翻译识别器失败：";
const char* const kTranslationMessage = "Translation recognizer setup failed: ";

}  // namespace

SpeechRecognitionTool::SpeechRecognitionTool(std::string token, std::string region)
    : token_(std::move(token)), region_(std::move(region)) {}

std::optional<std::string> SpeechRecognitionTool::token() const {
    return locked(token_);
}

std::shared_ptr<SpeechConfiguration> SpeechRecognitionTool::speechConfig() const {
    return locked(speechConfig_);
}

std::shared_ptr<AudioConfiguration> SpeechRecognitionTool::audioConfig() const {
    return locked(audioConfig_);
}

std::shared_ptr<SpeechRecognizer> SpeechRecognitionTool::recognizer() const {
    return locked(recognizer_);
}

std::shared_ptr<TranslationRecognizer> SpeechRecognitionTool::translationRecognizer() const {
    return locked(translationRecognizer_);
}

std::shared_ptr<PushAudioInputStream> SpeechRecognitionTool::pushStream() const {
    return locked(pushStream_);
}

void SpeechRecognitionTool::postToMain(std::function<void(SpeechRecognitionTool&)> deliver) {
    // Events raised after `stop` are dropped here, on the recogniser's thread; those already
    // posted when `stop` comes are dropped on the main queue, so the owner hears nothing once it
    // has stopped the tool.
    if (stopped_.load()) return;
    DispatchQueue::main().async([self = shared_from_this(), deliver = std::move(deliver)] {
        if (!self->stopped_.load()) deliver(*self);
    });
}

void SpeechRecognitionTool::failSetup(const char* logPrefix, const char* messagePrefix,
                                      const SpeechError& error) {
    const std::string description = error.localizedDescription;
    const std::string message = messagePrefix + description;
    const std::string logLine = logPrefix + description;
    DispatchQueue::main().async([self = shared_from_this(), logLine, message] {
        consoleLog(logLine);
        if (!self->stopped_.load() && self->onErrorCallback) self->onErrorCallback(message);
    });
}

std::function<void(const RecognitionCanceledEventArgs&)> SpeechRecognitionTool::reportCancellation(
    std::weak_ptr<SpeechRecognitionTool> weak) {
    return [weak = std::move(weak)](const RecognitionCanceledEventArgs& event) {
        const auto self = weak.lock();
        if (!self) return;
        const std::string details = event.errorDetails.value_or("");
        self->postToMain([details](SpeechRecognitionTool& tool) {
            if (tool.onErrorCallback)
                tool.onErrorCallback(details.empty() ? "Unknown error" : details);
        });
    };
}

void SpeechRecognitionTool::setupRecognizer(const std::string& language) {
    std::weak_ptr<SpeechRecognitionTool> weak = weak_from_this();
    std::shared_ptr<SpeechRecognizer> recognizer;
    {
        std::lock_guard lock(mutex_);
        auto configuration =
            SpeechConfiguration::fromAuthorizationToken(token_.value_or(""), region_.value_or(""));
        if (!configuration.configuration) {
            failSetup(kPlainLog, kPlainMessage, *configuration.error);
            return;
        }
        speechConfig_ = configuration.configuration;
        speechConfig_->setSpeechRecognitionLanguage(language);
        pushStream_ = std::make_shared<PushAudioInputStream>(AudioStreamFormat::pcm(16000, 16, 1));
        audioConfig_ = AudioConfiguration::fromStreamInput(pushStream_);
        auto made = SpeechRecognizer::fromConfig(speechConfig_, audioConfig_);
        if (!made.recognizer) {
            failSetup(kPlainLog, kPlainMessage, *made.error);
            return;
        }
        recognizer_ = made.recognizer;
        recognizer = recognizer_;
    }

    recognizer->addRecognizedEventHandler([weak](const SpeechRecognitionEventArgs& event) {
        const auto self = weak.lock();
        const std::string text = event.result.text.value_or("");
        if (!self || text.empty()) return;
        self->postToMain([text](SpeechRecognitionTool& tool) {
            if (tool.onResultCallback) tool.onResultCallback(text);
        });
    });
    recognizer->addRecognizingEventHandler([weak](const SpeechRecognitionEventArgs& event) {
        const auto self = weak.lock();
        const std::string text = event.result.text.value_or("");
        if (!self || text.empty()) return;
        self->postToMain([text](SpeechRecognitionTool& tool) {
            if (tool.onIntermediateResultCallback) tool.onIntermediateResultCallback(text);
        });
    });
    recognizer->addCanceledEventHandler(reportCancellation(weak));
    if (auto error = recognizer->startContinuousRecognition()) {
        failSetup(kPlainLog, kPlainMessage, *error);
    }
}

void SpeechRecognitionTool::setupTranslationRecognizer(const std::string& sourceLanguage,
                                                       const std::string& targetLanguage) {
    std::weak_ptr<SpeechRecognitionTool> weak = weak_from_this();
    std::shared_ptr<TranslationRecognizer> recognizer;
    {
        std::lock_guard lock(mutex_);
        auto configuration = SpeechTranslationConfiguration::fromAuthorizationToken(
            token_.value_or(""), region_.value_or(""));
        if (!configuration.configuration) {
            failSetup(kTranslationLog, kTranslationMessage, *configuration.error);
            return;
        }
        configuration.configuration->setSpeechRecognitionLanguage(sourceLanguage);
        configuration.configuration->addTargetLanguage(targetLanguage);
        pushStream_ = std::make_shared<PushAudioInputStream>();
        audioConfig_ = AudioConfiguration::fromStreamInput(pushStream_);
        auto made = TranslationRecognizer::fromConfig(configuration.configuration, audioConfig_);
        if (!made.recognizer) {
            failSetup(kTranslationLog, kTranslationMessage, *made.error);
            return;
        }
        translationRecognizer_ = made.recognizer;
        recognizer = translationRecognizer_;
    }

    recognizer->addRecognizedEventHandler(
        [weak, targetLanguage](const TranslationRecognitionEventArgs& event) {
            const auto self = weak.lock();
            const std::string text = event.result.text.value_or("");
            if (!self || text.empty()) return;
            // A final sentence without a translation for the target still counts as a final
            // sentence: it arrives with an empty translation rather than being lost.
            const auto found = event.result.translations.find(targetLanguage);
            const std::string translation =
                found == event.result.translations.end() ? std::string() : found->second;
            self->postToMain([text, translation](SpeechRecognitionTool& tool) {
                if (tool.onResultCallback) tool.onResultCallback(text);
                if (tool.onTranslationResultCallback)
                    tool.onTranslationResultCallback(text, translation);
            });
        });
    recognizer->addRecognizingEventHandler(
        [weak, targetLanguage](const TranslationRecognitionEventArgs& event) {
            const auto self = weak.lock();
            const auto found = event.result.translations.find(targetLanguage);
            if (!self || found == event.result.translations.end()) return;
            const std::string text = event.result.text.value_or("");
            const std::string translation = found->second;
            self->postToMain([text, translation](SpeechRecognitionTool& tool) {
                if (tool.onTranslationIntermediateCallback) {
                    tool.onTranslationIntermediateCallback(text, translation);
                }
            });
        });
    recognizer->addCanceledEventHandler(reportCancellation(weak));
    if (auto error = recognizer->startContinuousRecognition()) {
        failSetup(kTranslationLog, kTranslationMessage, *error);
    }
}

void SpeechRecognitionTool::startRecording() {
    std::weak_ptr<SpeechRecognitionTool> weakTool = weak_from_this();
    std::weak_ptr<PushAudioInputStream> weakStream = pushStream();
    // Installed with the start, so the very first frames reach recognition.
    auto writeFrame = [weakTool, weakStream](std::span<const std::uint8_t> frame) {
        const auto tool = weakTool.lock();
        const auto stream = weakStream.lock();
        if (tool && stream) stream->write(frame);
    };
    auto reportCaptureFailure = [weakTool](const std::string& description) {
        const auto tool = weakTool.lock();
        if (tool && !tool->stopped_.load() && tool->onCaptureFailed) {
            tool->onCaptureFailed(description);
        }
    };
    // Comes from the recorder's write queue.
    auto reportWriteFailure = [weakTool](const std::string& description) {
        const auto tool = weakTool.lock();
        if (!tool) return;
        tool->postToMain([description](SpeechRecognitionTool& self) {
            if (self.onRecordingFailed) self.onRecordingFailed(description);
        });
    };
    const PXRecorderManager::Recording started = PXRecorderManager::shared().start(
        audiofileName, std::move(writeFrame), std::move(reportCaptureFailure),
        std::move(reportWriteFailure));
    recording_.store(started);
}

void SpeechRecognitionTool::updateToken(const std::string& token) {
    consoleLog("🔄 更新 token");
    std::lock_guard lock(mutex_);
    token_ = token;
    if (method != 0) {
        if (translationRecognizer_) translationRecognizer_->setAuthorizationToken(token);
        return;
    }
    if (speechConfig_) speechConfig_->setAuthorizationToken(token);
    if (recognizer_) recognizer_->setAuthorizationToken(token);
}

void SpeechRecognitionTool::stop() {
    if (!isRecognizing.exchange(false)) return;
    consoleLog("[SpeechRecognitionTool] 停止识别");
    stopped_.store(true);

    // The recorder first: once it has stopped, its capture thread is finished, so closing the
    // stream below cannot race a frame being written. When the next session has started
    // recording meanwhile, the recorder is its own and runs on.
    PXRecorderManager::shared().stop(recording_.exchange(0));

    std::shared_ptr<PushAudioInputStream> stream;
    std::shared_ptr<SpeechRecognizer> recognizer;
    std::shared_ptr<TranslationRecognizer> translationRecognizer;
    {
        std::lock_guard lock(mutex_);
        stream = std::move(pushStream_);
        recognizer = std::move(recognizer_);
        translationRecognizer = std::move(translationRecognizer_);
    }
    if (stream) stream->close();
    if (recognizer) recognizer->stopContinuousRecognition();
    if (translationRecognizer) translationRecognizer->stopContinuousRecognition();
    // Dropping the recognisers here releases their handlers.
}

}  // namespace pex
