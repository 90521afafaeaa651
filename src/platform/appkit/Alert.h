#pragma once
// A modal alert in the design's terms: a message, an informative text, a style, an icon and
// buttons added in order; `runModal` shows it application-modal and answers the button
// chosen (firstButtonReturn for the first one added). While one of the application's floating
// windows (a running session's) is on screen, the alert is that window's dialog and stays
// above it, so it is never hidden behind a window that waits for it. Built on QMessageBox.
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QMessageBox;
class QWidget;

namespace pex {

class Alert {
  public:
    enum class Style { warning, informational, critical };
    static constexpr int firstButtonReturn = 1000;
    // runModal's answer when the window the alert belonged to closed before a button was chosen.
    static constexpr int closedReturn = 999;

    QString messageText;
    QString informativeText;
    Style alertStyle = Style::warning;
    QPixmap icon;  // none: the style's standard icon
    // A view under the informative text (a field to fill in, say), owned by the caller: the
    // message box holds it while it is shown and runModal hands it back without a parent (a box
    // made with makeMessageBox keeps it as its child).
    QPointer<QWidget> accessoryView;

    void addButton(const QString& title) { buttons_.append(title); }
    const QStringList& buttons() const { return buttons_; }

    // Shows the alert and waits for a button (a nested event loop, main thread only). Without
    // buttons the alert gets one "OK" button.
    int runModal();

    // Shows the alert as a sheet of `window`: modal to that window only, so the rest of the
    // application goes on. `completion` receives the button chosen, on the main thread.
    // Without a window nothing is shown and the completion is not called.
    void beginSheetModal(QWidget* window, std::function<void(int response)> completion);

    // The message box runModal shows; for rendering and inspection.
    std::unique_ptr<QMessageBox> makeMessageBox() const;

    // Tests: while set, runModal (and beginSheetModal) hands the alert to `handler` and answers
    // what it returns instead of showing anything.
    using ModalHandler = std::function<int(const Alert&)>;
    static void setModalHandlerForTesting(ModalHandler handler);

  private:
    QStringList buttons_;
};

}  // namespace pex
