// The live session window in its layouts, with a transcript (translated), a live sentence and
// a streaming answer: automatic answers (transcript above the answers, split by a divider) and
// manual answers (the question box between the two panes, with "回答" and its shortcut), in
// both orders. Billing is refused by the stand-in, so nothing records or asks; the clock shows
// a set time.
#include <memory>

#include "Gallery.h"
#include "Tools/ContentWindow.h"
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
    std::unique_ptr<ContentWindow> window(AIInterviewDetailWindow::open(controller));
    waitFor([&] { return controller->hasEnded(); }, "the refused billing start");
    settle();
    controller->setUseTimeCount(754);
    controller->showPinTip(true);
    // A conversation: two finished sentences with their translations, one being spoken, and
    // an answer part way through streaming.
    controller->handleFinalResult("请先简单介绍一下你自己。", "Please briefly introduce yourself.");
    controller->handleFinalResult("你为什么想加入我们公司？", "Why do you want to join us?");
    controller->handleIntermediateResult("说说你最有成就感的", "Tell me about your most");
    auto answer = std::make_shared<AIInterviewDetailController::AnswerRow>();
    answer->id = 1;
    answer->question = "你为什么想加入我们公司？";
    controller->streamModels.push_back(answer);
    controller->recomputeAnswerHeights();
    controller->reloadAnswerTable();
    settle();
    // Streamed in pieces: the row grows in place, over several lines.
    controller->updateAnswerRow(answer, "好的，关于“你为什么想加入我们公司？”，");
    controller->updateAnswerRow(
        answer,
        "好的，关于“你为什么想加入我们公司？”，我会结合产品经理的要求来回答。首先，贵公司的产品"
        "在用户体验和数据驱动方面做得非常出色，这和我过去三年在 B2B SaaS 团队做需求分析、"
        "用户访谈和 A/B testing 的经历高度契合。\n其次，我希望在一个重视长期价值的团队里，"
        "把从 0 到 1 搭建产品的经验用在更大的规模上。最后，");
    if (controller->textView()) {
        controller->textView()->setPlainText(QStringLiteral("\n请介绍一下你最有成就感的项目。"));
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
