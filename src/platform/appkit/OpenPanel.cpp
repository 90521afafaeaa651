#include "platform/appkit/OpenPanel.h"

#include <QFileDialog>
#include <memory>
#include <utility>

#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

OpenPanel::Handler& testingHandler() {
    static OpenPanel::Handler handler;
    return handler;
}

}  // namespace

void OpenPanel::setHandlerForTesting(Handler handler) {
    testingHandler() = std::move(handler);
}

void OpenPanel::begin(Completion completion) const {
    assertMainThread("OpenPanel::begin");
    if (const Handler& handler = testingHandler()) {
        handler(*this, std::move(completion));
        return;
    }
    auto* dialog = new QFileDialog(nullptr, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (canChooseDirectories && !canChooseFiles) {
        dialog->setFileMode(QFileDialog::Directory);
    } else {
        dialog->setFileMode(allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                    : QFileDialog::ExistingFile);
    }
    if (!allowedFileTypes.isEmpty()) {
        QStringList patterns;
        for (const QString& type : allowedFileTypes) patterns << QStringLiteral("*.") + type;
        dialog->setNameFilter(title + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                              QStringLiteral(")"));
    }
    // The completion runs once, whichever way the panel ends.
    auto pending = std::make_shared<Completion>(std::move(completion));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, pending](int result) {
        if (!*pending) return;
        const Completion done = std::exchange(*pending, nullptr);
        const QStringList files = dialog->selectedFiles();
        if (result != QDialog::Accepted || files.isEmpty()) {
            done(Response::cancel, std::nullopt);
            return;
        }
        done(Response::ok, std::filesystem::path(files.front().toStdString()));
    });
    dialog->open();
}

}  // namespace pex
