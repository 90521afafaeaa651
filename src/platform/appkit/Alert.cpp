#include "platform/appkit/Alert.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "platform/appkit/WindowLevel.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

Alert::ModalHandler& modalHandler() {
    static Alert::ModalHandler handler;
    return handler;
}

QMessageBox::Icon standardIcon(Alert::Style style) {
    switch (style) {
        case Alert::Style::informational:
            return QMessageBox::Information;
        case Alert::Style::critical:
            return QMessageBox::Critical;
        case Alert::Style::warning:
            break;
    }
    return QMessageBox::Warning;
}

// The design's alert icons are 64 points square.
constexpr int kIconSide = 64;
// Qt lays buttons out by role; each remembers the place it was added at.
constexpr const char* kIndexProperty = "pexAlertButtonIndex";

// The window of ours that floats above the others (a running session's window), if one is on
// screen: the active one first. An alert raised meanwhile belongs above it, or the user could
// never reach the alert, nor close the window behind it.
QWidget* floatingWindowOnScreen() {
    const auto floats = [](const QWidget* window) {
        return window && window->isVisible() && !qobject_cast<const QMessageBox*>(window) &&
               windowLevel(window) == WindowLevel::floating;
    };
    if (QWidget* active = QApplication::activeWindow(); active && floats(active->window())) {
        return active->window();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (floats(window)) return window;
    }
    return nullptr;
}

// `box` becomes a dialog of `owner`, kept above it when `owner` floats.
void attachTo(QMessageBox* box, QWidget* owner) {
    const Qt::WindowModality modality = box->windowModality();
    box->setParent(owner, box->windowFlags());
    // The modality first: setting it resets the window's hints.
    box->setWindowModality(modality);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, windowLevel(owner) == WindowLevel::floating);
}

}  // namespace

void Alert::setModalHandlerForTesting(ModalHandler handler) {
    modalHandler() = std::move(handler);
}

std::unique_ptr<QMessageBox> Alert::makeMessageBox() const {
    auto box = std::make_unique<QMessageBox>();
    box->setWindowModality(Qt::ApplicationModal);
    box->setText(messageText);
    box->setInformativeText(informativeText);
    // The texts often come from the network: they are shown as they stand, never read as
    // markup that could load files or open links.
    box->setTextFormat(Qt::PlainText);
    for (QLabel* label : box->findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
        // An address (a text without spaces) is read whole: it is not broken at its slashes.
        if (!informativeText.isEmpty() && label->text() == informativeText &&
            !informativeText.contains(QRegularExpression(QStringLiteral("\\s")))) {
            label->setWordWrap(false);
        }
    }
    if (icon.isNull()) {
        box->setIcon(standardIcon(alertStyle));
    } else {
        box->setIconPixmap(icon.scaled(QSize(kIconSide, kIconSide) * icon.devicePixelRatio(),
                                       Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    const QStringList titles = buttons_.isEmpty() ? QStringList{QStringLiteral("OK")} : buttons_;
    for (int i = 0; i < titles.size(); ++i) {
        // The first button added is the default one, answered by Return.
        QPushButton* button =
            box->addButton(titles[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        button->setProperty(kIndexProperty, i);
        if (i == 0) box->setDefaultButton(button);
    }
    if (accessoryView) {
        // Below the texts, above the buttons, aligned with the texts.
        auto* grid = qobject_cast<QGridLayout*>(box->layout());
        auto* buttonBox = box->findChild<QDialogButtonBox*>();
        if (grid && buttonBox) {
            grid->removeWidget(buttonBox);
            const int row = grid->rowCount();
            grid->addWidget(accessoryView, row, 2, 1, 1, Qt::AlignLeft);
            grid->addWidget(buttonBox, row + 1, 0, 1, grid->columnCount());
            accessoryView->setMinimumSize(accessoryView->size());
            accessoryView->show();
        }
    }
    return box;
}

int Alert::runModal() {
    assertMainThread("Alert::runModal");
    if (modalHandler()) return modalHandler()(*this);
    std::unique_ptr<QMessageBox> box = makeMessageBox();
    if (QWidget* owner = floatingWindowOnScreen()) attachTo(box.get(), owner);
    // Its owner may close meanwhile (a sign-out closes every window) and take the box along.
    const QPointer<QMessageBox> shown(box.get());
    box->exec();
    if (!shown) {
        (void)box.release();
        return closedReturn;
    }
    QAbstractButton* clicked = box->clickedButton();
    const int index = clicked ? clicked->property(kIndexProperty).toInt() : 0;
    if (accessoryView) accessoryView->setParent(nullptr);
    return firstButtonReturn + index;
}

void Alert::beginSheetModal(QWidget* window, std::function<void(int response)> completion) {
    assertMainThread("Alert::beginSheetModal");
    if (!window) return;
    if (modalHandler()) {
        const int response = modalHandler()(*this);
        if (completion) completion(response);
        return;
    }
    QMessageBox* box = makeMessageBox().release();
    box->setWindowModality(Qt::WindowModal);
    attachTo(box, window->window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, completion = std::move(completion)](int) {
                         QAbstractButton* clicked = box->clickedButton();
                         const int index = clicked ? clicked->property(kIndexProperty).toInt() : 0;
                         if (completion) completion(firstButtonReturn + index);
                     });
    box->open();
}

}  // namespace pex
