#pragma once
// The window of one live session, made as the interview setup page opens it: content
// 1000 × 700, a dark background (#1D1E1F) at alpha 0.7 that lets what lies behind show
// through, under a transparent title bar of its own (TransparentTitleBar) in place of the window
// manager's frame, centred, titled "面试助攻", floating above other windows, key and in front. The
// window owns its controller; the controller decides whether a close may go ahead (its close
// path keeps the window 2 s longer while the session is saved). The window lifecycle counts it
// as the session window: the main window hides while it is open and comes back once it has
// closed, and quitting or signing out ends its session through the controller. Main thread
// only.
#include <QColor>
#include <QPointer>
#include <QSize>
#include <QWidget>

namespace pex {

class AIInterviewDetailController;
class ContentWindow;

struct AIInterviewDetailWindow {
    static constexpr QSize kContentSize{1000, 700};
    static constexpr const char* kTitle = "面试助攻";
    static constexpr QColor kBackground{0x1D, 0x1E, 0x1F, 179};  // alpha 0.7

    static ContentWindow* open(AIInterviewDetailController* controller);
};

}  // namespace pex
