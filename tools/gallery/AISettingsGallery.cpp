// The AI settings page (without and with a bound résumé), the résumé card's states, the
// position editor and the interview-type card.
#include <QMainWindow>
#include <memory>

#include "Gallery.h"
#include "Page/AIInterviewPages/AISettingViewController.h"
#include "Page/View/InterviewTypeView.h"
#include "Page/View/PositionView.h"
#include "Page/View/UpdateResumeView.h"
#include "StandinScene.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "platform/appkit/ApplicationWindows.h"
#include "service/DefaultsKey.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"

namespace pex::gallery {
namespace {

using std::chrono::milliseconds;

// The page in a window the size the page container gives it.
std::unique_ptr<QMainWindow> pageWindow(AISettingViewController* page) {
    auto window = std::make_unique<QMainWindow>();
    window->setCentralWidget(page->view());
    window->resize(820, 560);
    return window;
}

QImage renderPage(bool withResume) {
    StandinScene scene;
    AIInterviewModel record = AIInterviewModel::defaultRecord();
    record.deviceType = 1;
    record.answerFontSize = 20;
    SettingsStore::setRecord(std::optional<AIInterviewModel>(record),
                             DefaultsKey<AIInterviewModel>(SettingsKeys::aiInterviewSetModel));
    if (withResume) {
        UserBaseModel user;
        user.resume = UserResumeInfo{"file-fe-1", "张三-后端开发-简历.pdf", "2025-03-01"};
        SettingsStore::setRecord(std::optional<UserBaseModel>(user),
                                 DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
    }
    auto* page = new AISettingViewController;
    auto window = pageWindow(page);
    window->show();
    settle();
    return snapshot(*window);
}

const Entry pageEmpty{"AISettingViewController", "no_resume", [] { return renderPage(false); }};
const Entry pageBound{"AISettingViewController", "resume_bound", [] { return renderPage(true); }};

QImage renderCard(bool bound) {
    QWidget host;
    host.resize(382, 162);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, QColor(0xF0, 0xFB, 0xF9));
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    auto* card = new UpdateResumeView(&host);
    card->setGeometry(16, 16, 350, 130);
    if (bound) {
        card->updateLabel()->setText(QStringLiteral("已选择文件：简历.docx"));
        card->showResumeBound();
    } else {
        card->showResumeCleared();
    }
    return snapshot(host);
}

const Entry cardCleared{"UpdateResumeView", "cleared", [] { return renderCard(false); }};
const Entry cardBound{"UpdateResumeView", "bound", [] { return renderCard(true); }};

// A card shown in the centred pop-up over a plain window.
template <typename Card, typename Fill>
QImage renderPopUp(QSize size, Fill fill) {
    QMainWindow window;
    window.setCentralWidget(new QWidget);
    window.resize(750, 500);
    ScopedKeyWindow key(&window);
    window.show();
    settle();
    auto* card = new Card;
    card->resize(size);
    fill(*card);
    MYCenterPopView::showInKeyWindow(card);
    advance(milliseconds(300));
    return snapshot(window);
}

const Entry editorEmpty{"PositionView", "placeholder", [] {
                            return renderPopUp<PositionView>(QSize(360, 360), [](PositionView&) {});
                        }};
const Entry editorFilled{"PositionView", "filled", [] {
                             return renderPopUp<PositionView>(QSize(360, 360), [](PositionView& v) {
                                 v.roleTextView()->setPlainText(QStringLiteral(
                                     "后端开发工程师，三年支付系统经验，熟悉高并发与分布式事务。"));
                             });
                         }};
const Entry typeNone{
    "InterviewTypeView", "no_selection",
    [] { return renderPopUp<InterviewTypeView>(QSize(400, 430), [](InterviewTypeView&) {}); }};
const Entry typeChosen{"InterviewTypeView", "overseas_selected", [] {
                           return renderPopUp<InterviewTypeView>(QSize(400, 430),
                                                                 [](InterviewTypeView& card) {
                                                                     card.type = 2;
                                                                     card.refreshSelection();
                                                                 });
                       }};

}  // namespace
}  // namespace pex::gallery
