#include "Page/History/HistoryDatabaseNotice.h"

namespace pex {

std::optional<HistoryDatabaseNotice> HistoryDatabaseNotice::about(
    const std::optional<GRDBDataManager::OpeningProblem>& problem) {
    if (!problem) return std::nullopt;
    const QString keptAs =
        problem->keptAs ? QString::fromStdString(problem->keptAs->filename().string()) : QString();
    if (problem->kind == GRDBDataManager::OpeningProblem::Kind::damagedFileReplaced) {
        return HistoryDatabaseNotice{
            QStringLiteral("面试记录文件已损坏"),
            QStringLiteral("原文件已另存为“%1”，其中的面试记录暂时无法查看；"
                           "新的面试记录会保存在新的文件中。")
                .arg(keptAs)};
    }
    QString text = QStringLiteral("本次运行中的面试记录不会被保存。原因：%1")
                       .arg(QString::fromStdString(problem->error));
    if (!keptAs.isEmpty()) text += QStringLiteral("（损坏的文件已另存为“%1”）").arg(keptAs);
    return HistoryDatabaseNotice{QStringLiteral("面试记录无法打开"), text};
}

}  // namespace pex
