// The live session window in its layouts: automatic answers (transcript above the answers,
// split by a divider) and manual answers (the question box between the two panes, with
// "回答" and its shortcut), in both orders. Billing is refused by the stand-in, so nothing
// records; the clock shows a set time.
#include <memory>

#include "Gallery.h"
#include "Main/ContentWindow.h"
#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"
#include "StandinScene.h"
#include "service/SettingsStore.h"

namespace pex::gallery {
namespace {

QImage renderWindow(std::int64_t antoAnswerType, std::int64_t sequenceType) {
    StandinScene scene;
    scene.service().setFault("/consume/start", standin::Fault::serviceError(1005, "余额不足"));
    AIInterviewModel model = AIInterviewModel::defaultRecord();
    model.antoAnswerType = antoAnswerType;
    model.sequenceType = sequenceType;
    model.deviceType = 1;
    auto* controller = new AIInterviewDetailController(model, 1, "AI面试251207_232500");
    std::unique_ptr<ContentWindow> window(AIInterviewDetailWindow::open(controller, nullptr));
    waitFor([&] { return controller->hasEnded(); }, "the refused billing start");
    settle();
    controller->setUseTimeCount(754);
    controller->showPinTip(true);
    if (controller->textView()) {
        controller->textView()->setPlainText(QStringLiteral("请介绍一下你最有成就感的项目。"));
    }
    settle();
    return snapshot(*window);
}

const Entry automatic{"AIInterviewDetailController", "automatic",
                      [] { return renderWindow(0, 0); }};
const Entry automaticAnswersAbove{"AIInterviewDetailController", "automatic_answers_above",
                                  [] { return renderWindow(0, 1); }};
const Entry manual{"AIInterviewDetailController", "manual", [] { return renderWindow(1, 0); }};
const Entry manualAnswersAbove{"AIInterviewDetailController", "manual_answers_above",
                               [] { return renderWindow(1, 1); }};

}  // namespace
}  // namespace pex::gallery
