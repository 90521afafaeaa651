// The session side of AIInterviewDetailController: billing, token, clock, recogniser and the
// end of the session.
#include <QMessageBox>
#include <QStyle>
#include <utility>

#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Tools/HUD.h"
#include "platform/appkit/Alert.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"
#include "service/TimerManager.h"

namespace pex {

namespace {

// The recogniser's callbacks come on the main queue; this keeps the rule in one place should
// one ever arrive elsewhere.
void onMain(std::function<void()> work) {
    if (MainQueue::isMainThread()) {
        work();
    } else {
        DispatchQueue::main().async(std::move(work));
    }
}

}  // namespace

void AIInterviewDetailController::billingDidStart(const std::string&) {
    consoleLog("💰计费开始");
    awaitingStartReply_ = false;
    if (isClosing || ended_) {
        // The window went before the service accepted: close the consumption it just opened.
        // The manager arms its periodic report after this call returns, so the final report
        // goes out from the next turn, where it also disarms it. An end under way waits for it.
        awaitingFinalReply_ = true;
        const QPointer<AIInterviewDetailController> weak(this);
        DispatchQueue::main().async([weak] {
            if (weak) weak->sendFinalReport(false);
        });
        return;
    }
    startSession();
}

void AIInterviewDetailController::startSession() {
    azTokenManager = AzTokenNewManager::create();
    azTokenManager->action = 1;
    azTokenManager->retry = 0;
    azTokenManager->delegate = this;
    azTokenManager->start();

    TimerManager& clock = TimerManager::shared();
    clock.start();
    const QPointer<AIInterviewDetailController> weak(this);
    clock.onTick = [weak](std::int64_t seconds) {
        if (weak) weak->setUseTimeCount(seconds);
    };
}

void AIInterviewDetailController::tokenReceived(const AzTokenModel& model) {
    // A token that arrives while the window closes, or after the session ended, starts nothing.
    if (isClosing || ended_) return;
    setupRecognition(model);
}

void AIInterviewDetailController::setupRecognition(const AzTokenModel& model) {
    isTranslating = true;
    refreshQuestionBoxEditability();
    HUD::hide();

    const std::string fileName = historyFileName + ".wav";
    speechTool = std::make_shared<SpeechRecognitionTool>(model.token, model.area);
    speechTool->audiofileName = fileName;
    speechTool->stop();

    const QPointer<AIInterviewDetailController> weak(this);
    auto deliver = [weak](std::function<void(AIInterviewDetailController&)> step) {
        onMain([weak, step = std::move(step)] {
            if (weak) step(*weak);
        });
    };
    speechTool->onErrorCallback = [deliver](const std::string& text) {
        deliver([text](AIInterviewDetailController& self) { self.handleRecognitionError(text); });
    };
    speechTool->onCaptureFailed = [deliver](const std::string& description) {
        deliver([description](AIInterviewDetailController& self) {
            self.handleCaptureFailure(description);
        });
    };
    speechTool->onRecordingFailed = [deliver](const std::string& description) {
        deliver([description](AIInterviewDetailController& self) {
            self.handleStorageFailure(kRecordingNotSavedText, description);
        });
    };

    if (interviewModel && interviewModel->modelType == 1) {
        speechTool->method = 0;
        speechTool->onResultCallback = [deliver](const std::string& text) {
            deliver(
                [text](AIInterviewDetailController& self) { self.handleFinalResult(text, ""); });
        };
        speechTool->onIntermediateResultCallback = [deliver](const std::string& text) {
            deliver([text](AIInterviewDetailController& self) {
                self.handleIntermediateResult(text, "");
            });
        };
        speechTool->setupRecognizer(langSpeechModel ? langSpeechModel->original_key : "zh-CN");
    } else {
        speechTool->method = 1;
        speechTool->onResultCallback = [](const std::string&) {};
        speechTool->onTranslationIntermediateCallback = [deliver](const std::string& text,
                                                                  const std::string& translation) {
            deliver([text, translation](AIInterviewDetailController& self) {
                self.handleIntermediateResult(text, translation);
            });
        };
        speechTool->onTranslationResultCallback = [deliver](const std::string& text,
                                                            const std::string& translation) {
            deliver([text, translation](AIInterviewDetailController& self) {
                self.handleFinalResult(text, translation);
            });
        };
        speechTool->setupTranslationRecognizer(langModel1 ? langModel1->original_key : "zh-CN",
                                               langModel2 ? langModel2->translation_key : "en");
    }
    speechTool->startRecording();
    speechTool->isRecognizing = true;
}

void AIInterviewDetailController::tokenRefreshed(const AzTokenModel& model) {
    consoleLog("Token 刷新成功，Token: " + model.token + ", 区域: " + model.area);
    if (speechTool) speechTool->updateToken(model.token);
}

void AIInterviewDetailController::tokenFailed(const std::any&) {
    consoleLog("获取 token 失败，停止轮训。");
    // Without a token there is no transcription: the session ends rather than billing on.
    failSession(kTokenErrorText);
}

void AIInterviewDetailController::stopTapped() {
    if (!isTranslating || ended_) return;
    sendFinalReport(true);
    stopSession();
}

void AIInterviewDetailController::sendFinalReport(bool toastReply) {
    TimerManager::shared().onBillingUpdate = nullptr;
    if (billingManager->consumeID.empty()) {
        awaitingFinalReply_ = false;
        return;
    }
    toastFinalReply_ = toastReply;
    awaitingFinalReply_ = true;
    billingManager->updateConsume(true);
}

void AIInterviewDetailController::billingDidEnd(const std::string& message) {
    consoleLog("💰计费结束:" + message);
    // Whatever billing answered last (the final report, a refused start) is what an end waits
    // for.
    awaitingStartReply_ = false;
    awaitingFinalReply_ = false;
    if (toastFinalReply_ || isTranslating) {
        HUD::showThenHide(QString::fromStdString(message.empty() ? kStoppedText : message),
                          kBillingMessageSeconds, nullptr);
    } else if (!isClosing) {
        // Takes down a "Loading..." left from the start; while closing "Saving..." stays.
        HUD::hide();
    }
    toastFinalReply_ = false;
    stopSession();
    finishEnding();
}

void AIInterviewDetailController::handleRecognitionError(const std::string& text) {
    const bool translating = !(interviewModel && interviewModel->modelType == 1);
    consoleLog((translating ? "识别错误: " : "识别错误：") + text);
    if (!isTranslating) return;
    failSession(kTokenErrorText);
}

void AIInterviewDetailController::handleCaptureFailure(const std::string& description) {
    consoleLog("❌ 录音失败，结束面试：" + description);
    if (!isTranslating) return;
    failSession(kCaptureErrorText);
}

void AIInterviewDetailController::handleStorageFailure(const QString& text,
                                                       const std::string& description) {
    // One message for the session, however many frames or rows fail after the first; the
    // storage layers log each failure themselves. A window on its way out is not interrupted.
    if (storageFailureShown_ || isClosing) return;
    storageFailureShown_ = true;
    consoleLog("❌ 保存失败，已提示用户：" + description);
    const QString informative = text + "\n" + QString::fromStdString(description);
    const QPointer<AIInterviewDetailController> weak(this);
    DispatchQueue::main().async([weak, informative] {
        if (weak) weak->showSessionAlert(kStorageFailedTitle, informative);
    });
}

void AIInterviewDetailController::failSession(const QString& alertText) {
    if (ended_ || isClosing) return;
    sendFinalReport(false);
    isTranslating = false;
    refreshQuestionBoxEditability();
    stopSession();
    const QPointer<AIInterviewDetailController> weak(this);
    DispatchQueue::main().async([weak, alertText] {
        if (weak) weak->showRecognitionErrorAlert(alertText);
    });
}

void AIInterviewDetailController::stopSession(std::function<void()> completion) {
    if (ended_) {
        if (completion) DispatchQueue::main().async(std::move(completion));
        return;
    }
    ended_ = true;
    cancelStreams();
    // The clock and the token manager live on the main thread: they stop here, at once, so no
    // tick or late token reply reaches the session after this.
    TimerManager::shared().stop();
    if (azTokenManager) azTokenManager->stop();

    // Stopping the recorder waits for its capture thread and its file: that happens off the
    // main thread, and whether or not this controller is still there by then.
    std::shared_ptr<SpeechRecognitionTool> tool = speechTool;
    const QPointer<AIInterviewDetailController> weak(this);
    DispatchQueue::global(QualityOfService::UserInitiated)
        .async([tool, weak, completion = std::move(completion)]() mutable {
            if (tool) tool->stop();
            DispatchQueue::main().async([weak, completion = std::move(completion)] {
                if (weak) {
                    weak->isTranslating = false;
                    weak->refreshQuestionBoxEditability();
                    // A session that ended by itself (a refused start, a failure) while its
                    // window stays: nothing needs the route any more, so the desktop's sound
                    // goes back now rather than when the user closes the window. An end under
                    // way (endSession) restores it in its own order.
                    if (weak->ending_ == Ending::no) weak->giveBackAudioRoute();
                }
                if (completion) completion();
            });
        });
}

void AIInterviewDetailController::endSession(std::function<void()> done, bool toastReply) {
    if (done) endCompletions_.push_back(std::move(done));
    if (ending_ != Ending::no) {
        finishEnding();
        return;
    }
    ending_ = Ending::underWay;
    isClosing = true;
    if (!ended_) sendFinalReport(toastReply);
    const QPointer<AIInterviewDetailController> weak(this);
    if (awaitingStartReply_ || awaitingFinalReply_) {
        DispatchQueue::main().asyncAfter(kFinalReportWait, [weak] {
            if (!weak || weak->ending_ != Ending::underWay) return;
            consoleLog("💰计费未按时答复，结束会话");
            weak->replyWaitOver_ = true;
            weak->finishEnding();
        });
    }
    stopSession([weak] {
        if (!weak) return;
        weak->captureStopped_ = true;
        weak->finishEnding();
    });
}

void AIInterviewDetailController::finishEnding() {
    if (ending_ == Ending::no || !captureStopped_) return;
    if ((awaitingStartReply_ || awaitingFinalReply_) && !replyWaitOver_) return;
    if (ending_ == Ending::underWay) {
        ending_ = Ending::done;
        // The capture has let go of the loopback: the devices go back as they were.
        giveBackAudioRoute();
    }
    for (auto& completion : std::exchange(endCompletions_, {})) {
        DispatchQueue::main().async(std::move(completion));
    }
}

void AIInterviewDetailController::giveBackAudioRoute() {
    if (std::exchange(routeGivenBack_, true)) return;
    restoreAudioRoute();
}

void AIInterviewDetailController::showRecognitionErrorAlert(const QString& informativeText) {
    showSessionAlert(kErrorTitle, informativeText);
}

void AIInterviewDetailController::showSessionAlert(const QString& title,
                                                   const QString& informativeText) {
    QWidget* window = viewIfLoaded() ? viewIfLoaded()->window() : nullptr;
    if (!window || !window->isWindow() || window == viewIfLoaded()) return;
    Alert alert;
    alert.messageText = title;
    alert.informativeText = informativeText;
    alert.alertStyle = Alert::Style::warning;
    alert.addButton(QStringLiteral("确定"));
    alert.icon = window->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(64, 64);
    alert.beginSheetModal(window, [](int) { consoleLog("✅ 用户点击了确定"); });
}

void AIInterviewDetailController::refreshQuestionBoxEditability() {
    const QPointer<AIInterviewDetailController> weak(this);
    DispatchQueue::main().async([weak] {
        if (weak && weak->textView_) weak->textView_->setReadOnly(!weak->isTranslating);
    });
}

}  // namespace pex
