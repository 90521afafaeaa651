// The interview setup page (translating and recognition only) and its language picker open
// under the left language label.
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <memory>

#include "Gallery.h"
#include "Page/AIInterviewPages/InterviewSettingViewController.h"
#include "Page/AIInterviewPages/LanguageListViewController.h"
#include "StandinScene.h"
#include "platform/appkit/Popover.h"
#include "service/DefaultsKey.h"
#include "service/SettingsStore.h"

namespace pex::gallery {
namespace {

void storeSettings(std::int64_t modelType, std::int64_t deviceType) {
    AIInterviewModel record = AIInterviewModel::defaultRecord();
    record.modelType = modelType;
    record.deviceType = deviceType;
    record.generateAnswerType = 2;
    SettingsStore::setRecord(std::optional<AIInterviewModel>(record),
                             DefaultsKey<AIInterviewModel>(SettingsKeys::aiInterviewSetModel));
}

// The page in a window the size the page container gives it.
std::unique_ptr<QMainWindow> pageWindow(InterviewSettingViewController* page) {
    auto window = std::make_unique<QMainWindow>();
    window->setCentralWidget(page->view());
    window->resize(820, 560);
    window->show();
    settle();
    return window;
}

QImage renderPage(std::int64_t modelType, std::int64_t deviceType) {
    StandinScene scene;
    storeSettings(modelType, deviceType);
    auto* page = new InterviewSettingViewController;
    auto window = pageWindow(page);
    return snapshot(*window);
}

const Entry translating{"InterviewSettingViewController", "translating",
                        [] { return renderPage(0, 1); }};
const Entry recognitionOnly{"InterviewSettingViewController", "recognition_only",
                            [] { return renderPage(1, 0); }};

// The page with the picker drawn where its pop-over window shows it.
QImage renderPopover(const QString& typed) {
    StandinScene scene;
    storeSettings(0, 1);
    auto* page = new InterviewSettingViewController;
    auto window = pageWindow(page);
    page->languagePopupClicked(page->lelfLanguageLabel());
    auto* list =
        qobject_cast<LanguageListViewController*>(page->popover()->contentViewController());
    waitFor([&] { return list && !list->countryModels.empty(); }, "the language list");
    list->searchField()->setText(typed);
    settle();
    QImage picture = snapshot(*window);
    QWidget* popup = page->popover()->window();
    const QImage listPicture = snapshot(*popup);
    QPainter painter(&picture);
    const QPoint at = window->mapFromGlobal(popup->pos());
    painter.drawImage(QPointF(at), listPicture);
    painter.end();
    page->popover()->close();
    return picture;
}

const Entry popoverAll{"LanguageListViewController", "all", [] { return renderPopover({}); }};
const Entry popoverTyped{"LanguageListViewController", "filtered",
                         [] { return renderPopover(QStringLiteral("英语")); }};

}  // namespace
}  // namespace pex::gallery
