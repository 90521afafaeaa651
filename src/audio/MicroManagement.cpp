#include "audio/MicroManagement.h"

#include "Tools/StatusHUD/StatusHUD.h"
#include "platform/avfoundation/CaptureAuthorization.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

void showError(const char* text) {
    StatusHUD::showMessage(QString::fromUtf8(text), StatusHUDMode::error);
}

}  // namespace

void MicroManagement::checkMicrophoneAuthorization() {
    const std::shared_ptr<CaptureAuthorization> authorization = CaptureAuthorization::current();
    switch (authorization->authorizationStatusForAudio()) {
        case AuthorizationStatus::notDetermined:
            showError("没有麦克风权限");
            consoleLog("没有麦克风权限");
            // The system shows its own question; the session does not wait for the answer.
            authorization->requestAccessForAudio(nullptr);
            break;
        case AuthorizationStatus::restricted:
            showError("没有授权麦克风");
            consoleLog("没有授权麦克风");
            break;
        case AuthorizationStatus::denied:
            consoleLog("没有授权");
            showError("没有授权");
            break;
        case AuthorizationStatus::authorized:
            consoleLog("已经授权");
            break;
    }
}

}  // namespace pex
