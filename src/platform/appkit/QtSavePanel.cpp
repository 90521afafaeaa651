#include "platform/appkit/QtSavePanel.h"

#include <QApplication>
#include <QFileDialog>
#include <QStandardPaths>

namespace pex {

void QtSavePanel::begin(Completion completion) {
    auto* dialog = new QFileDialog(QApplication::activeWindow());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (!canCreateDirectories) dialog->setOption(QFileDialog::ReadOnly);
    QStringList filters;
    for (const QString& type : allowedFileTypes) filters << QStringLiteral("*.%1").arg(type);
    QStringList nameFilters;
    if (!filters.isEmpty()) nameFilters << filters.join(QLatin1Char(' '));
    if (allowsOtherFileTypes || nameFilters.isEmpty()) nameFilters << QStringLiteral("*");
    dialog->setNameFilters(nameFilters);
    if (!allowedFileTypes.isEmpty()) dialog->setDefaultSuffix(allowedFileTypes.front());
    dialog->setDirectory(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    dialog->selectFile(nameFieldStringValue);
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, completion = std::move(completion)](int result) {
                         const QStringList chosen = dialog->selectedFiles();
                         if (result != QDialog::Accepted || chosen.isEmpty()) {
                             completion(Response::cancel, std::nullopt);
                             return;
                         }
                         completion(Response::ok,
                                    std::filesystem::path(chosen.front().toStdString()));
                     });
    dialog->open();
}

}  // namespace pex
