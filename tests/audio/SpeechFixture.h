#pragma once
// A speech recognition tool over the fake capture device and a chosen speech backend, with a
// log of every callback it makes (and whether each came on the main thread).
#include <memory>
#include <string>
#include <vector>

#include "audio/PXRecorderManager.h"
#include "audio/SpeechRecognitionTool.h"
#include "platform/audiotoolbox/FakeCaptureDevice.h"
#include "platform/foundation/MainQueue.h"
#include "platform/speech/SpeechBackend.h"
#include "support/TestSupport.h"

namespace pex::test {

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
