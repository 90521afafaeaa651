#pragma once
// The application's two kinds of window, made the one way they are made everywhere:
//
//   login window   a new LoginViewController, content 510 × 480, titled "登录"
//   main window    a new shell::ViewController, content 1000 × 700 (the top bar, the
//                  180-wide sidebar and the 750 × 500 page need that much), titled "主面板"
//                  after a login and untitled when opened at launch or from the menu
//
// Each is centred, made key and brought to the front. Main thread only.
#include <QSize>
#include <QString>

namespace pex {

class ContentWindow;

struct WindowFactory {
    static constexpr QSize kLoginContentSize{510, 480};
    static constexpr QSize kMainContentSize{1000, 700};
    static constexpr const char* kLoginTitle = "登录";
    static constexpr const char* kMainTitle = "主面板";

    static ContentWindow* openLoginWindow();
    static ContentWindow* openMainWindow(const QString& title = QString());

    // After a login: the window that shows the login gets a new main view as its content,
    // 1000 × 700, titled "主面板", kept on the screen around the login window's centre. The
    // login controller goes once the current event is done.
    static void showMainView(ContentWindow* window);

    // Sets size, centre, title; then key and front.
    static void present(ContentWindow* window, QSize contentSize, const QString& title);
};

}  // namespace pex
