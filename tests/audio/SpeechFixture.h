#pragma once
// A speech recognition tool over the fake capture device and a chosen speech backend, with a
// log of every callback it makes (and whether each came on the main thread).
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/PXRecorderManager.h"
#include "audio/PcmVoiceRecorderDelegate.h"
#include "audio/SpeechRecognitionTool.h"
#include "platform/audiotoolbox/FakeCaptureDevice.h"
#include "platform/foundation/MainQueue.h"
#include "platform/speech/SpeechBackend.h"
#include "support/TestSupport.h"

namespace pex::test {

// `count` capture frames of silence, or of a 440 Hz tone at 16 kHz loud enough to count as speech.
inline std::vector<FakeCaptureDevice::Buffer> voiceFrames(int count, bool sound) {
    std::vector<FakeCaptureDevice::Buffer> buffers;
    int n = 0;
    for (int f = 0; f < count; ++f) {
        FakeCaptureDevice::Buffer frame(kVoiceFrameBytes, 0);
        for (std::size_t i = 0; sound && i < frame.size(); i += 2, ++n) {
            const auto sample =
                static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440 * n / 16000.0));
            frame[i] = static_cast<std::uint8_t>(sample & 0xff);
            frame[i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xff);
        }
        buffers.push_back(std::move(frame));
    }
    return buffers;
}

class SpeechToolTest : public IsolatedTest {
  protected:
    ~SpeechToolTest() override {
        if (tool) {
            tool->isRecognizing = true;  // make sure the shared recorder is left stopped
            tool->stop();
        }
        SpeechBackend::setCurrent(nullptr);
    }

    std::shared_ptr<SpeechRecognitionTool> makeTool(const std::string& token = "token-1",
                                                    const std::string& region = "eastasia") {
        tool = std::make_shared<SpeechRecognitionTool>(token, region);
        tool->audiofileName = "AI面试250101_120000.wav";
        tool->onResultCallback = [this](const std::string& text) { note("result:" + text); };
        tool->onIntermediateResultCallback = [this](const std::string& text) {
            note("partial:" + text);
        };
        tool->onErrorCallback = [this](const std::string& text) { note("error:" + text); };
        tool->onTranslationIntermediateCallback = [this](const std::string& text,
                                                         const std::string& translation) {
            note("tpartial:" + text + "|" + translation);
        };
        tool->onTranslationResultCallback = [this](const std::string& text,
                                                   const std::string& translation) {
            note("tresult:" + text + "|" + translation);
        };
        return tool;
    }

    void note(const std::string& line) {
        allOnMain = allOnMain && MainQueue::isMainThread();
        calls.push_back(line);
    }

    bool waitForCalls(std::size_t count) {
        return runMainUntil([&] { return calls.size() >= count; });
    }

    std::shared_ptr<FakeCaptureDevice> capture = FakeCaptureDevice::install();
    std::shared_ptr<SpeechRecognitionTool> tool;
    std::vector<std::string> calls;  // touched on the main thread only
    bool allOnMain = true;
};

}  // namespace pex::test
