#pragma once
// Esc closes the pop-up in front. A pop-up that a click on its backdrop or on its close mark
// closes says here how it closes; Esc pressed anywhere in its window (a field of the page
// beneath included) then closes the frontmost of those on screen, one per press, the same way
// the click does. Without such a pop-up on screen Esc goes where it always went.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace pex {

class EscapeToClose : public QObject {
    Q_OBJECT
  public:
    // From now on Esc in `popUp`'s window runs `close` while `popUp` is the frontmost such
    // pop-up on screen. The pop-up owns what this makes.
    static void attach(QWidget* popUp, std::function<void()> close);

  private:
    EscapeToClose(QWidget* popUp, std::function<void()> close);

    // The pop-up on screen in front of all others in `window`, if any.
    static EscapeToClose* frontmostIn(const QWidget* window);
    static bool inFront(const QWidget* front, const QWidget* back);
    bool isOnScreen() const;

    class KeyFilter;
    QPointer<QWidget> popUp_;
    std::function<void()> close_;
};

}  // namespace pex
