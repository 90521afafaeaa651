#include "Main/StartupNotices.h"

#include <QPointer>
#include <QWidget>
#include <memory>

#include "Page/History/HistoryDatabaseNotice.h"
#include "platform/appkit/Alert.h"

namespace pex {

std::vector<StartupNotice> StartupNotices::collect(
    const std::optional<GRDBDataManager::OpeningProblem>& history,
    const std::optional<UserDefaults::UnreadableFile>& settings) {
    std::vector<StartupNotice> notices;
    if (const auto notice = HistoryDatabaseNotice::about(history)) {
        notices.push_back({notice->title, notice->text});
    }
    if (settings) {
        QString text = QStringLiteral("登录状态和设置已丢失，请重新登录。");
        text += settings->keptAs
                    ? QStringLiteral("原文件已另存为“%1”。")
                          .arg(QString::fromStdString(settings->keptAs->filename().string()))
                    : QStringLiteral("原文件无法另存，本次运行中的设置更改不会被保存。");
        notices.push_back({QStringLiteral("设置文件无法读取"), text});
    }
    return notices;
}

std::vector<StartupNotice> StartupNotices::current() {
    return collect(GRDBDataManager::shared().openingProblem(),
                   UserDefaults::standard().unreadableFile());
}

void StartupNotices::show(QWidget* window, std::vector<StartupNotice> notices) {
    if (!window || notices.empty()) return;
    const StartupNotice first = notices.front();
    notices.erase(notices.begin());
    Alert alert;
    alert.messageText = first.title;
    alert.informativeText = first.text;
    alert.addButton(QStringLiteral("确定"));
    QPointer<QWidget> host(window);
    alert.beginSheetModal(window, [host, rest = std::move(notices)](int) mutable {
        if (host) show(host, std::move(rest));
    });
}

}  // namespace pex
